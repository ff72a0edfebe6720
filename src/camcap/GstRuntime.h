// Initialises GStreamer once per process, on the first use of the capture library.
// Threads: any; concurrent first calls are serialised by std::call_once.
#pragma once

namespace GstRuntime {

// Initialises GStreamer if that has not happened yet. True when it is usable.
bool EnsureInitialised();

}  // namespace GstRuntime
