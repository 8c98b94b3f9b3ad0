// The three text conversions of the launcher. Each has its own method and limits; they are not
// interchangeable.
#pragma once

#include <string>

namespace launcher {

// UTF-16 to narrow text under the C runtime locale "chs" (code page 936), for log text. A text
// with any character that code page lacks converts to an empty text as a whole.
std::string WideToChsString(const std::wstring& text);

// UTF-16 to code page 936 in a 260-byte buffer, for the configuration path. True when the buffer
// holds a non-empty text; false for null, empty, or a text needing more than 260 bytes.
bool WideToGbkPath(const wchar_t* text, char (&buffer)[260]);

// UTF-8 to UTF-16 in a 260-unit buffer, for configuration texts. True when the buffer holds a
// non-empty text. A text longer than 259 units is refused (false, buffer emptied) rather than cut.
bool Utf8ToWideText(const char* text, wchar_t (&buffer)[260]);

}  // namespace launcher
