// SHA-256 of a file's content, through OpenSSL's digest interface.
#pragma once

#include <optional>
#include <string>

namespace halvex {

// Lower-case hex digits; nothing when the file can't be read.
std::optional<std::string> fileSha256(const std::string& path);
// Of a text in memory.
std::string textSha256(const std::string& text);

}  // namespace halvex
