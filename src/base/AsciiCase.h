#pragma once

#include <string>
#include <string_view>

namespace qb {

// Case folding of A-Z only: names are bytes, and other bytes keep their case.
char LowerAscii(char c);
std::string LowerAscii(std::string_view text);

// Lower case of UTF-8 text, letters beyond ASCII too ("Äpfel" gives
// "äpfel"); bytes that are not UTF-8 stay as they are.
std::string LowerText(std::string_view text);

}  // namespace qb
