// Turning the table's single-byte text into UTF-8 for display and for machine-readable output.
#pragma once

#include <string>
#include <string_view>

namespace ramovia {

bool isValidUtf8(std::string_view bytes);
// The text itself when it is valid UTF-8 as a whole, else each byte read as Windows-1252 (bytes
// that code page leaves undefined read as Latin-1).
std::string toUtf8(std::string_view bytes);

// Control characters (C0 but line breaks and TABs, DEL, and in UTF-8 text C1) replaced by `by`: names
// may hold ESC and the like, which must not reach a terminal or break a file's columns.
std::string replaceControls(std::string text, char by, bool keepLayout = true);

}  // namespace ramovia
