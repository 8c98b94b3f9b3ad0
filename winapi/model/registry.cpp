// Linux model only: the registry. Grown with the link-scheme registration and the interface
// language; until then no key can be opened or created.
#include "world.h"

namespace winmodel {

void SetRegValue(HKEY, const std::wstring&, const std::wstring&, const RegValue&) {}
void SetRegString(HKEY, const std::wstring&, const std::wstring&, const std::wstring&) {}
bool GetRegValue(HKEY, const std::wstring&, const std::wstring&, RegValue*) { return false; }
bool RegKeyExists(HKEY, const std::wstring&) { return false; }
void DenyRegWrites(HKEY root, bool denied)
{
    if (denied)
        World().deniedRoots.insert(reinterpret_cast<ULONG_PTR>(root));
    else
        World().deniedRoots.erase(reinterpret_cast<ULONG_PTR>(root));
}
long OpenRegKeys() { return static_cast<long>(World().openKeys.size()); }

}  // namespace winmodel

using namespace winmodel;

LSTATUS RegOpenKeyExW(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY)
{
    MODEL_CALL("RegOpenKeyExW", static_cast<LSTATUS>(World().lastError));
    return ERROR_FILE_NOT_FOUND;
}
LSTATUS RegCreateKeyExW(HKEY, LPCWSTR, DWORD, LPWSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY, LPDWORD)
{
    MODEL_CALL("RegCreateKeyExW", static_cast<LSTATUS>(World().lastError));
    return ERROR_ACCESS_DENIED;
}
LSTATUS RegQueryValueExA(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD)
{
    MODEL_CALL("RegQueryValueExA", static_cast<LSTATUS>(World().lastError));
    return ERROR_FILE_NOT_FOUND;
}
LSTATUS RegQueryValueExW(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD)
{
    MODEL_CALL("RegQueryValueExW", static_cast<LSTATUS>(World().lastError));
    return ERROR_FILE_NOT_FOUND;
}
LSTATUS RegSetValueExW(HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD)
{
    MODEL_CALL("RegSetValueExW", static_cast<LSTATUS>(World().lastError));
    return ERROR_INVALID_HANDLE;
}
LSTATUS RegSetValueExA(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD)
{
    MODEL_CALL("RegSetValueExA", static_cast<LSTATUS>(World().lastError));
    return ERROR_INVALID_HANDLE;
}
LSTATUS RegDeleteTreeW(HKEY, LPCWSTR)
{
    MODEL_CALL("RegDeleteTreeW", static_cast<LSTATUS>(World().lastError));
    return ERROR_FILE_NOT_FOUND;
}
LSTATUS RegCloseKey(HKEY)
{
    MODEL_CALL("RegCloseKey", static_cast<LSTATUS>(World().lastError));
    return ERROR_INVALID_HANDLE;
}
