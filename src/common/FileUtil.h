#pragma once

#include <string>
#include <string_view>

namespace vantrel {

// Replaces path with contents only once the new file is complete: a temporary file beside
// it is written, flushed and renamed over the old one. On failure the old file is as it was.
// What a plain save would keep is kept: a symbolic link stays a link and its target gets the
// contents, the permission bits (and, where the process may, the owner and group) stay. A
// file without write permission, a folder or a device is refused. The error names the path
// (or the folder no temporary file could be made in) and says what is wrong.
bool WriteFileAtomically(const std::string& path, std::string_view contents, std::string* error);

// Whole file into text. Fails for a missing, unreadable or non-regular file; anything that is
// not a regular file is refused before it is opened, so a pipe or a terminal cannot block.
// The error is the path and what is wrong ("…: no such file", "…: is a folder").
bool ReadFileText(const std::string& path, std::string& text, std::string* error);

// What the user is told for errno `code` when a file cannot be opened or read.
std::string FileErrorText(int code);

} // namespace vantrel
