// Turns what a capture pipeline reports on its bus into short texts for the
// operator, posted to the notice window as WM_LOG_TEXT with lParam 1.
// Pure functions: any thread.
#pragma once

#include <gst/gst.h>

#include <string>

enum class NoticeKind {
    None,         // nothing the operator needs to know
    Unplugged,    // the camera went away
    Bandwidth,    // the bus the camera is on cannot carry its stream
    StreamEnded,  // end of stream
    Failure,      // any other error
};

// What kind of event the message is.
NoticeKind ClassifyBusMessage(GstMessage* message);

// Whether an error reported while a camera starts blames the mode it was asked for
// (no bandwidth for it, caps that do not negotiate, settings refused) rather than the
// camera itself: another mode may then work.
bool BlamesTheMode(GstMessage* error);

// The operator's text for the message about camera cameraName; empty for None.
std::string NoticeTextFor(GstMessage* message, const std::string& cameraName);

// The text for a camera that could not be opened; reason may be empty or null.
std::string OpenFailedText(const std::string& cameraName, const char* reason);

// The text for a camera that did not start: an error it reported while starting
// (may be null) is told as the same error is told while running; without one, the
// plain OpenFailedText with reason.
std::string StartFailedText(GstMessage* error, const std::string& cameraName,
                            const std::string& reason);

// The texts for a camera that stopped delivering without an error, and for one that
// delivers again after it went away or stalled.
std::string NoPictureText(const std::string& cameraName);
std::string ReconnectedText(const std::string& cameraName);
