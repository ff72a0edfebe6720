// "--export CAMERA FROM TO FILE.mp4" of the command line: reads the arguments, exports
// the span (SpanExport) and says what happened, in one line for a script's log. Runs
// without a display, also while the program records. Any thread (the caller's).
#pragma once

#include <string>
#include <vector>

#include "catalog/CatalogReader.h"

namespace ExportCommand {

constexpr int kWritten = 0;
constexpr int kFailed = 1;        // no recording in the span, unknown camera, file not writable...
constexpr int kBadArguments = 2;  // as the command line's other mistakes

// Whether the arguments can be understood: kWritten (0) when they can, else
// kBadArguments with output's line. Needs no catalog: the command line checks first.
int Check(const std::vector<std::string>& arguments, std::string& output);

// arguments: camera, from, to ("yyyy-mm-dd hh:mm:ss", local time) and the MP4 file.
// Returns the exit status; output gets the line to print (stdout when kWritten,
// stderr otherwise).
int Run(const ICatalogReader& catalog, const std::vector<std::string>& arguments,
        std::string& output);

}  // namespace ExportCommand
