#include "playback/ExportCommand.h"

#include "playback/LocalClock.h"
#include "playback/SpanExport.h"

namespace {

constexpr const char* kProgram = "OrvexClient";

std::string Problem(const std::string& text) {
    return std::string(kProgram) + ": --export: " + text + "\n";
}

}  // namespace

int ExportCommand::Check(const std::vector<std::string>& arguments, std::string& output) {
    int64_t ignored = 0;
    if (arguments.size() != 4) {
        output = Problem("needs CAMERA FROM TO FILE.mp4");
        return kBadArguments;
    }
    for (int i : {1, 2}) {
        if (!LocalClock::Parse(arguments[i], ignored)) {
            output =
                Problem("'" + arguments[i] + "' is not a time of the form yyyy-mm-dd hh:mm:ss");
            return kBadArguments;
        }
    }
    return kWritten;
}

int ExportCommand::Run(const ICatalogReader& catalog, const std::vector<std::string>& arguments,
                       std::string& output) {
    if (const int status = Check(arguments, output); status != kWritten) return status;
    SpanExportRequest request;
    request.Camera = arguments[0];
    request.Path = arguments[3];
    LocalClock::Parse(arguments[1], request.FromMs);
    LocalClock::Parse(arguments[2], request.ToMs);
    const SpanExportResult result = SpanExport::Export(catalog, request);
    if (result.Status != SpanExportStatus::Written) {
        output = Problem(result.Reason);
        return kFailed;
    }
    output = request.Path + ": " + LocalClock::Text(result.FirstMs) + " to " +
             LocalClock::Text(result.EndMs) + ", " + std::to_string(result.Pictures) +
             " pictures, SHA-256 " + result.Sha256 + "\n";
    return kWritten;
}
