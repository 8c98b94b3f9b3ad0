#include "launcher/text_conversion.h"

#include <cstring>
#include <cwchar>
#include <iterator>
#include <memory>
#include <vector>

#include "winapi/winapi.h"

namespace launcher {

std::string WideToChsString(const std::wstring& text)
{
    // The locale is process-wide; the launcher is single-threaded, and the old one comes back
    // before this returns.
    const char* current = setlocale(LC_ALL, nullptr);
    std::string saved = current ? current : "C";
    setlocale(LC_ALL, "chs");

    // Code page 936 needs at most two bytes a unit, so 2n + 1 always holds text and terminator.
    const size_t size = 2 * text.size() + 1;
    std::vector<char> buffer(size, '\0');
    size_t converted = 0;
    if (wcstombs_s(&converted, buffer.data(), size, text.c_str(), size) != 0) buffer[0] = '\0';
    std::string result(buffer.data());

    setlocale(LC_ALL, saved.c_str());
    return result;
}

bool WideToGbkPath(const wchar_t* text, char (&buffer)[260])
{
    if (!text) return false;
    std::memset(buffer, 0, sizeof buffer);
    int needed = WideCharToMultiByte(936, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed > static_cast<int>(sizeof buffer)) return false;
    int length = static_cast<int>(std::wcslen(text));
    if (length == 0) return false;
    int written = WideCharToMultiByte(936, 0, text, length, buffer, static_cast<int>(sizeof buffer), nullptr, nullptr);
    // needed <= 260 includes the terminator, so written is at most 259 and the zero fits.
    if (written <= 0 || written >= static_cast<int>(sizeof buffer)) {
        buffer[0] = '\0';
        return false;
    }
    buffer[written] = '\0';
    return buffer[0] != '\0';
}

bool Utf8ToWideText(const char* text, wchar_t (&buffer)[260])
{
    if (!text) return false;
    int count = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (count <= 0) {
        buffer[0] = L'\0';
        return false;
    }
    std::vector<wchar_t> temporary(static_cast<size_t>(count) + 1, L'\0');
    int converted = MultiByteToWideChar(CP_UTF8, 0, text, -1, temporary.data(), count);
    temporary[converted > 0 ? static_cast<size_t>(converted) : 0] = L'\0';
    // A longer text would not fit; a cut name would name something nobody chose, so refuse it.
    if (std::wcslen(temporary.data()) >= std::size(buffer)) {
        buffer[0] = L'\0';
        return false;
    }
    wcscpy_s(buffer, std::size(buffer), temporary.data());
    return buffer[0] != L'\0';
}

}  // namespace launcher
