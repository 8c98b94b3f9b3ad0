#include "log/debug_output_stream.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "winapi/winapi.h"

OutputDebugStringBuf<char>::OutputDebugStringBuf() { setp(chunk, chunk + std::size(chunk)); }

int OutputDebugStringBuf<char>::sync()
{
    try {
        // The chunk and its terminator; the size is named, as std::size of a member is no constant
        // expression for every compiler.
        char piece[kChunkSize + 1] = {};
        const std::size_t pending = static_cast<std::size_t>(pptr() - pbase());
        std::memcpy(piece, pbase(), std::min(pending, std::size(chunk)));
        OutputDebugStringA(piece);
        setp(chunk, chunk + std::size(chunk));
        return 0;
    } catch (...) {
        return -1;
    }
}

OutputDebugStringBuf<char>::int_type OutputDebugStringBuf<char>::overflow(int_type c)
{
    const int synced = sync();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        chunk[0] = traits_type::to_char_type(c);
        setp(chunk, chunk + std::size(chunk));
        pbump(1);
    }
    return synced == -1 ? traits_type::eof() : 0;
}
