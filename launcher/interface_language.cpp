#include "launcher/interface_language.h"

#include <algorithm>
#include <iterator>
#include <sstream>
#include <string_view>

#include "launcher/main_application.h"
#include "winapi/scoped_handle.h"
#include "winapi/winapi.h"

namespace launcher {

bool IsChineseUi()
{
    std::wostringstream subKey;
    subKey << L"SOFTWARE\\" << kProductBaseName << L"\\Language";

    // Read on every call: the value may change while the launcher runs.
    winapi::ScopedRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey.str().c_str(),
                      0,  // no options
                      KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS) {
        return true;
    }

    char value[260] = {};
    DWORD size = static_cast<DWORD>(std::size(value));
    // The type is not examined: whatever was delivered is compared as text.
    if (RegQueryValueExA(key.Get(), "",  // the default value
                         nullptr,        // reserved
                         nullptr,        // type not wanted
                         reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS) {
        return true;
    }

    // Data that fills the buffer has no terminator of its own: compare within the buffer only.
    const char* end = std::find(std::begin(value), std::end(value), '\0');
    const std::string_view text(value, static_cast<size_t>(end - value));
    if (text == "zh-CN") return true;
    if (text == "en-US") return false;
    return true;
}

}  // namespace launcher
