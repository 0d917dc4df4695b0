// Code page 932 (Shift-JIS as Windows defines it) to UTF-8, through a table
// built once from the system's own CP932 converter (Cp932Convert.h).
#pragma once
#include <cstddef>
#include <string>

namespace Ado::Embedded {

// Converts `size` bytes at `text`, appending UTF-8 to *out. Returns false at
// the first byte sequence that is no character of the code page (*out then
// holds what came before it). *characters (when not null) receives the
// number of characters converted.
bool Cp932ToUtf8(const char* text, std::size_t size, std::string* out,
                 std::size_t* characters = nullptr);

// The other way, for tools that write sample files. Returns false when a
// character has no code page 932 form.
bool Utf8ToCp932(const std::string& utf8, std::string* out);

}  // namespace Ado::Embedded
