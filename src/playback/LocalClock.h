// Wall-clock times as the operator writes and reads them: "yyyy-mm-dd hh:mm:ss" in
// local time, to and from milliseconds since 1970 (UTC). Pure functions: any thread.
#pragma once

#include <cstdint>
#include <string>

namespace LocalClock {

// False for anything but a valid date and time of that form.
bool Parse(const std::string& text, int64_t& ms);
// The local date and time of ms, to the second.
std::string Text(int64_t ms);

}  // namespace LocalClock
