// Keeps recordings off the wrong disk. When the disk that holds RecordDir is
// unmounted, its mount point stays behind as an empty folder of the system disk;
// creating the recording folders there again would quietly fill the system disk.
// So the file system of each RecordDir is remembered the first time it is seen, and
// from then on RecordDir, or while it is missing its nearest existing parent
// folder, must lie on that file system. A RecordDir deleted by hand is so made
// again on its own disk, while one whose disk has gone is refused until it is back.
//
// Threads: any; one lock guards the remembered devices. The memory is process-wide
// so that a camera opened while the disk is away is refused as well.
#pragma once

#include <string>

class CRecordDirGuard {
public:
    CRecordDirGuard() = delete;

    // True when recording folders may be created under recordDir: it, or while it
    // is missing its nearest existing parent, lies on the file system RecordDir was
    // on when first seen, or it has never been seen (it may then be created, as on
    // a first start). The first sight of an existing RecordDir is remembered.
    static bool Usable(const std::string& recordDir);
    // Forgets every remembered file system, e.g. when the operator has chosen the
    // recording folder anew and a new disk there is meant.
    static void Forget();
};
