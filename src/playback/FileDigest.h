// SHA-256 of a file (the catalog's digest), and the ".sha256" file beside an export in
// the form sha256sum writes and checks ("<hex>  <name>"), so that whoever receives the
// footage can check it with standard tools. Any thread.
#pragma once

#include <string>

namespace FileDigest {

// The lower-case hex SHA-256 of the file's bytes; empty when it cannot be read.
std::string Sha256(const std::string& path);

// Writes "<path>.sha256" holding the digest and the file's own name; false when the
// file cannot be read or the digest file cannot be written. The digest in hex.
bool WriteSha256File(const std::string& path, std::string* hex = nullptr);

}  // namespace FileDigest
