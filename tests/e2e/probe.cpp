// Windows side of the end-to-end harness's own checks: the things the launcher will do that the
// harness must be able to observe, done here on demand.
//
//   probe.exe message-box TITLE     an OK/Cancel question titled TITLE (hex of UTF-16 units, four
//                                   digits each); the exit code is the answer: IDOK 1, IDCANCEL 2
//   probe.exe pipe-write BYTES      BYTES (hex, two digits each) as one message to the main
//                                   application's pipe; exit code 0, or 1 when it cannot be opened
//   probe.exe debug-string BYTES    OutputDebugStringA of BYTES and a terminating zero
#include <windows.h>

#include <cwchar>
#include <string>

#include "winapi/scoped_handle.h"

namespace {

bool DecodeHex(const wchar_t* hex, size_t digitsPerUnit, std::wstring& units)
{
    const size_t length = std::wcslen(hex);
    if (length % digitsPerUnit != 0) return false;
    units.clear();
    for (size_t i = 0; i < length; i += digitsPerUnit) {
        unsigned value = 0;
        for (size_t k = 0; k < digitsPerUnit; ++k) {
            const wchar_t c = hex[i + k];
            if (c >= L'0' && c <= L'9') value = value * 16 + (c - L'0');
            else if (c >= L'a' && c <= L'f') value = value * 16 + (c - L'a' + 10);
            else if (c >= L'A' && c <= L'F') value = value * 16 + (c - L'A' + 10);
            else return false;
        }
        units.push_back(static_cast<wchar_t>(value));
    }
    return true;
}

std::string Bytes(const std::wstring& units)
{
    std::string bytes;
    for (wchar_t unit : units) bytes.push_back(static_cast<char>(unit));
    return bytes;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) return 100;
    const std::wstring command = argv[1];
    std::wstring units;

    if (command == L"message-box") {
        if (!DecodeHex(argv[2], 4, units)) return 101;
        return MessageBoxW(nullptr, L"Probe question", units.c_str(), MB_OKCANCEL | MB_ICONQUESTION);
    }
    if (command == L"pipe-write") {
        if (!DecodeHex(argv[2], 2, units)) return 101;
        const std::string message = Bytes(units);
        winapi::ScopedFile pipe(CreateFileW(L"\\\\.\\Pipe\\ZUREZU_kivo",
                                            GENERIC_READ | GENERIC_WRITE,
                                            0,        // no sharing
                                            nullptr,  // default security
                                            OPEN_EXISTING,
                                            0,          // no attributes
                                            nullptr));  // no template
        if (!pipe) return 1;
        DWORD written = 0;
        return WriteFile(pipe.Get(), message.data(), static_cast<DWORD>(message.size()), &written, nullptr) ? 0 : 3;
    }
    if (command == L"debug-string") {
        if (!DecodeHex(argv[2], 2, units)) return 101;
        OutputDebugStringA(Bytes(units).c_str());
        return 0;
    }
    return 100;
}
