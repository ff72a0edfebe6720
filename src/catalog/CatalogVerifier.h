// `OrvexClient --verify [CAMERA] [DAY]`: proves, against the catalog of a RecordDir, that
// the recordings of a camera (and a day) are those it sealed. Each camera's hash chain
// is walked from its anchor and every link recomputed; every sealed file in scope is
// hashed again; every recording on disk in scope must be a sealed one. A file is
// reported altered (its bytes differ from its seal), missing (sealed, not deleted by
// the retention, gone) or inserted (on disk, never sealed); a broken link means the
// catalog itself was rewritten. Files being recorded hold; a file a crash cut short and
// no start has sealed yet does not.
//
// Reads only: it opens the database read-only and runs beside a recording program or
// on a read-only archive.
//
// Threads: the caller's.
#pragma once

#include <cstdint>
#include <string>

struct VerifyRequest {
    std::string RecordDir;
    std::string Camera;  // empty: every camera
    std::string Day;     // "yyyy-mm-dd"; empty: every day
};

// The report; the exit code: 0 when everything holds, 1 when something does not,
// 2 for a camera or day that cannot be understood, 3 when there is no catalog to check.
int RunVerify(const VerifyRequest& request, int64_t nowMs, std::string* report);
