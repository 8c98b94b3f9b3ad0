// Linux model only: the all-users desktop, COM initialisation and the shell-link object.
// Grown with the desktop shortcut refresh; until then no shell-link object can be created.
#include "world.h"

namespace winmodel {

void SetCommonDesktop(const std::wstring& windowsPath) { World().commonDesktop = windowsPath; }
bool MakeShellLink(const std::wstring&, const ShellLinkData&) { return false; }
bool ReadShellLink(const std::wstring&, ShellLinkData*) { return false; }
long ComInitCount() { return World().comInit; }

}  // namespace winmodel

using namespace winmodel;

const CLSID CLSID_ShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IShellLinkW = {0x000214F9, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

HRESULT SHGetFolderLocation(HWND, int, HANDLE, DWORD, PIDLIST_ABSOLUTE* location)
{
    if (location) *location = nullptr;
    MODEL_CALL("SHGetFolderLocation", E_FAIL);
    return E_FAIL;
}
BOOL SHGetPathFromIDListW(PCIDLIST_ABSOLUTE, LPWSTR path)
{
    MODEL_CALL("SHGetPathFromIDListW", FALSE);
    if (path) path[0] = 0;
    return FALSE;
}
void CoTaskMemFree(LPVOID) {}
void ILFree(PIDLIST_ABSOLUTE) {}
HRESULT CoInitialize(LPVOID)
{
    MODEL_CALL("CoInitialize", E_FAIL);
    ++World().comInit;
    return S_OK;
}
void CoUninitialize()
{
    if (EnterCall("CoUninitialize")) return;
    --World().comInit;
}
HRESULT CoCreateInstance(REFCLSID, IUnknown*, DWORD, REFIID, LPVOID* object)
{
    if (object) *object = nullptr;
    MODEL_CALL("CoCreateInstance", REGDB_E_CLASSNOTREG);
    return REGDB_E_CLASSNOTREG;
}
DWORD GetShortPathNameW(LPCWSTR, LPWSTR, DWORD)
{
    MODEL_CALL("GetShortPathNameW", 0);
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
}
