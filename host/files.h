// Reading whole text files for the language and the program. Only regular files are read: a
// device such as /dev/zero never ends and a directory has no text, so both are refused with a
// message instead of exhausting memory or reading as empty.
#pragma once

#include <string>
#include <string_view>

namespace robmat::host {

// Throws Error when the path holds a NUL byte (the file system would see only the part before
// it), names no regular file, or cannot be read.
std::string read_text_file(const std::string& path);

// Throws Error when the path holds a NUL byte.
void check_path(std::string_view path);

}  // namespace robmat::host
