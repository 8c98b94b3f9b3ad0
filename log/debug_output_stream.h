// A narrow output stream onto the debugger output (OutputDebugStringA). The buffer holds at most
// 256 characters: a long text reaches the debugger in pieces of 256 as it is written, the rest at
// the next flush. Each piece is handed over as a C string, so it ends at its first NUL.
#pragma once

#include <cstddef>
#include <memory>
#include <ostream>
#include <sstream>

template <class Char>
class OutputDebugStringBuf;

template <>
class OutputDebugStringBuf<char> : public std::basic_stringbuf<char> {
public:
    OutputDebugStringBuf();
    // Pending characters are dropped, not sent: the loggers flush after every record.
    ~OutputDebugStringBuf() override = default;

    OutputDebugStringBuf(const OutputDebugStringBuf&) = delete;
    OutputDebugStringBuf& operator=(const OutputDebugStringBuf&) = delete;

protected:
    // Sends the full chunk, then starts the next one with c.
    int_type overflow(int_type c) override;
    // Sends what is pending (possibly nothing) and empties the chunk; -1 if that failed.
    int sync() override;

private:
    static constexpr std::size_t kChunkSize = 256;
    char chunk[kChunkSize] = {};
};

template <class Char>
class outputdebug_buf : public OutputDebugStringBuf<Char> {};

template <class Char>
class outputdebug_stream : public std::basic_ostream<Char> {
public:
    outputdebug_stream() : std::basic_ostream<Char>(nullptr), buffer_(new outputdebug_buf<Char>)
    {
        this->rdbuf(buffer_.get());
    }

private:
    std::unique_ptr<outputdebug_buf<Char>> buffer_;
};
