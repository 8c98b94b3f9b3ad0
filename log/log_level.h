// Levels of a log record and the names its two header styles show for them.
#pragma once

#include <cstdint>

namespace cpplog {

using LogLevel = std::uint32_t;

// Prefixed: ERROR and DEBUG are macros in some Windows headers and builds.
inline constexpr LogLevel LL_TRACE = 0;
inline constexpr LogLevel LL_DEBUG = 1;
inline constexpr LogLevel LL_INFO = 2;
inline constexpr LogLevel LL_WARN = 3;
inline constexpr LogLevel LL_ERROR = 4;
inline constexpr LogLevel LL_FATAL = 5;

// "TRACE" ... "FATAL"; "OTHER" for a value outside the table.
const char* LevelName(LogLevel level);
// "T" ... "F"; "O" for a value outside the table.
const char* LevelLetter(LogLevel level);

}  // namespace cpplog
