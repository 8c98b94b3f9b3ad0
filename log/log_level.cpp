#include "log/log_level.h"

#include <iterator>

namespace cpplog {

namespace {

const char* const kNames[] = {"TRACE", "DEBUG", "INFO", "WARN", "ERROR", "FATAL"};
const char* const kLetters[] = {"T", "D", "I", "W", "E", "F"};

}  // namespace

const char* LevelName(LogLevel level)
{
    return level < std::size(kNames) ? kNames[level] : "OTHER";
}

const char* LevelLetter(LogLevel level)
{
    return level < std::size(kLetters) ? kLetters[level] : "O";
}

}  // namespace cpplog
