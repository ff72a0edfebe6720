// The icons compiled into this library, as ":/icons/<id>.png" (48x48): 128 the
// application, 130 get devices, 131 system settings, 132 preview video, 136 save
// configuration, 138 the link button, 140 the info bar.
//
// Threads: call RegisterIconResources on the user-interface thread before the first
// use of an icon; later calls do nothing.
#pragma once

// Makes the icons reachable through Qt's resource system. Linking the library alone
// does not: the linker leaves out the data of a static library nobody refers to.
void RegisterIconResources();
