// The paths under which the restream server offers a camera: /cam<N> for its 1-based
// number and /<its custom name, percent-encoded as UTF-8 bytes>.
#pragma once

#include <string>
#include <string_view>

// Keeps the unreserved characters of RFC 3986 and writes every other byte as %XX.
std::string PercentEncode(std::string_view text);
std::string CameraNumberPath(int cameraIndex1Based);
// Empty for an empty name.
std::string CameraNamePath(std::string_view customName);
