#pragma once

#include <string>
#include <string_view>

namespace vantrel {

// Replaces path with contents only once the new file is complete: a temporary file beside
// it is written, flushed and renamed over the old one. On failure the old file is as it was.
bool WriteFileAtomically(const std::string& path, std::string_view contents, std::string* error);

// Whole file into text. Fails for a missing, unreadable or non-regular file.
bool ReadFileText(const std::string& path, std::string& text, std::string* error);

} // namespace vantrel
