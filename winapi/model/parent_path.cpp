// Linux model only: Boost.Filesystem's Windows parent-path rules, since Boost on Linux knows
// only '/'. The same table of paths runs against Boost itself in the Windows build.
#include "winapi/parent_path.h"

namespace winapi {

namespace {

constexpr size_t npos = std::wstring::npos;

bool IsSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

size_t RootDirectoryStart(const std::wstring& path, size_t size)
{
    if (size > 2 && path[1] == L':' && IsSeparator(path[2])) return 2;                  // C:\ .
    if (size == 2 && IsSeparator(path[0]) && IsSeparator(path[1])) return npos;        // "\\"
    if (size > 4 && IsSeparator(path[0]) && IsSeparator(path[1]) && path[2] == L'?' && IsSeparator(path[3])) {
        size_t pos = path.find_first_of(L"/\\", 4);
        return pos < size ? pos : npos;                                                 // \\?\ .
    }
    if (size > 3 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2])) {
        size_t pos = path.find_first_of(L"/\\", 2);
        return pos < size ? pos : npos;                                                 // \\server\ .
    }
    if (size > 0 && IsSeparator(path[0])) return 0;                                     // \ .
    return npos;
}

size_t FilenamePos(const std::wstring& str, size_t endPos)
{
    if (endPos == 2 && IsSeparator(str[0]) && IsSeparator(str[1])) return 0;
    if (endPos && IsSeparator(str[endPos - 1])) return endPos - 1;
    size_t pos = endPos ? str.find_last_of(L"/\\", endPos - 1) : npos;
    if (pos == npos && endPos > 1) pos = str.find_last_of(L':', endPos - 2);
    return (pos == npos || (pos == 1 && IsSeparator(str[0]))) ? 0 : pos + 1;
}

}  // namespace

std::wstring ParentPath(const std::wstring& path)
{
    size_t endPos = FilenamePos(path, path.size());
    bool filenameWasSeparator = !path.empty() && endPos < path.size() && IsSeparator(path[endPos]);
    size_t rootDirPos = RootDirectoryStart(path, endPos);
    for (; endPos > 0 && (endPos - 1) != rootDirPos && IsSeparator(path[endPos - 1]); --endPos) {
    }
    if (endPos == 1 && rootDirPos == 0 && filenameWasSeparator) return std::wstring();
    return path.substr(0, endPos);
}

}  // namespace winapi
