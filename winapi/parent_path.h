// The folder part of a Windows path, with the answers Boost.Filesystem gives on Windows: the text
// before the last separator without that separator, a drive root keeping its own (C:\).
#pragma once

#include <string>

namespace winapi {

std::wstring ParentPath(const std::wstring& path);

}  // namespace winapi
