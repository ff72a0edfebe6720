// Lines of the reports the command line prints (--catalog-check, --verify).
//
// Pure functions: any thread.
#pragma once

#include <string>

#include "common/RecordingObserver.h"

// printf into a string, with a newline added.
std::string ReportLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// What a gap's cause means, in words.
const char* GapCauseText(RecordingGapCause cause);
