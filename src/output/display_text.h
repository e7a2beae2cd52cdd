// Turning the table's single-byte text into UTF-8 for display and for machine-readable output.
#pragma once

#include <string>
#include <string_view>

namespace ramovia {

bool isValidUtf8(std::string_view bytes);
// The text itself when it is valid UTF-8 as a whole, else each byte read as Windows-1252 (bytes
// that code page leaves undefined read as Latin-1).
std::string toUtf8(std::string_view bytes);

}  // namespace ramovia
