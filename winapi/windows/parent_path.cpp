// Windows only: Boost.Filesystem computes the parent path.
#include "winapi/parent_path.h"

#include <boost/filesystem/path.hpp>

namespace winapi {

std::wstring ParentPath(const std::wstring& path)
{
    return boost::filesystem::path(path).parent_path().wstring();
}

}  // namespace winapi
