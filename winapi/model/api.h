// Linux model only: declarations of exactly the Win32, COM and C-runtime calls the launcher makes.
// The definitions live beside this file, one area per source file; each one asks the fault plan
// first (see steering.h), so any named call can be made to fail from a test.
#pragma once

// <clocale> before the setlocale macro below, so that a later include of it still declares the
// real function.
#include <clocale>
#include <cstdio>
#include <ctime>

#include "types.h"

#define _In_
#define _Out_
#define _Inout_

// Errors and module
DWORD GetLastError();
void SetLastError(DWORD error);
DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
HMODULE GetModuleHandleW(LPCWSTR name);

// Files and folders (paths follow the Windows rules: drive letters, \ and /, no letter case)
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method);
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* access, const FILETIME* write);
BOOL GetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME access, LPFILETIME write);
BOOL CloseHandle(HANDLE handle);
DWORD GetFileAttributesW(LPCWSTR name);
BOOL SetFileAttributesW(LPCWSTR name, DWORD attributes);
BOOL CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES security);
BOOL RemoveDirectoryW(LPCWSTR name);
BOOL DeleteFileW(LPCWSTR name);
BOOL MoveFileExW(LPCWSTR existing, LPCWSTR target, DWORD flags);
BOOL CopyFileA(LPCSTR existing, LPCSTR target, BOOL failIfExists);
DWORD GetCurrentDirectoryW(DWORD size, LPWSTR buffer);
BOOL SetCurrentDirectoryW(LPCWSTR name);

// Time
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, LPFILETIME fileTime);
BOOL LocalFileTimeToFileTime(const FILETIME* localTime, LPFILETIME fileTime);
void GetSystemTimeAsFileTime(LPFILETIME fileTime);
DWORD GetTickCount();
void Sleep(DWORD milliseconds);

// Code pages
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR out, int outSize);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR text, int length, LPSTR out, int outSize,
                        LPCSTR defaultChar, LPBOOL usedDefault);
UINT GetACP();
// Ordinal comparison, optionally without regard to letter case as the file system has it.
int CompareStringOrdinal(LPCWSTR string1, int count1, LPCWSTR string2, int count2, BOOL ignoreCase);

// Formatting with the Windows meaning of %s (a wide string in the wide functions)
int wsprintfW(LPWSTR buffer, LPCWSTR format, ...);
int swprintf_s(wchar_t* buffer, size_t count, const wchar_t* format, ...);
errno_t wcscpy_s(wchar_t* dest, size_t count, const wchar_t* source);

// Processes and security
HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId);
BOOL Process32FirstW(HANDLE snapshot, LPPROCESSENTRY32W entry);
BOOL Process32NextW(HANDLE snapshot, LPPROCESSENTRY32W entry);
HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD processId);
BOOL TerminateProcess(HANDLE process, UINT exitCode);
BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);
HANDLE GetCurrentProcess();
DWORD GetCurrentProcessId();
BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token);
BOOL LookupPrivilegeValueW(LPCWSTR system, LPCWSTR name, PLUID luid);
BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD bufferLength,
                           PTOKEN_PRIVILEGES previousState, PDWORD returnLength);

// Registry
LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result);
LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                        REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition);
LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD dataSize);
LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD dataSize);
LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD dataSize);
LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD dataSize);
LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR subKey);
LSTATUS RegCloseKey(HKEY key);

// User interface and shell
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
SHORT GetAsyncKeyState(int key);
HINSTANCE ShellExecuteW(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                        INT show);
HWND GetDesktopWindow();
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void SHChangeNotify(LONG eventId, UINT flags, LPCVOID item1, LPCVOID item2);
void OutputDebugStringA(LPCSTR text);

// Shell folders and COM
struct ITEMIDLIST;
using PIDLIST_ABSOLUTE = ITEMIDLIST*;
using PCIDLIST_ABSOLUTE = const ITEMIDLIST*;
using LPITEMIDLIST = ITEMIDLIST*;
using LPCITEMIDLIST = const ITEMIDLIST*;
HRESULT SHGetFolderLocation(HWND owner, int folder, HANDLE token, DWORD reserved, PIDLIST_ABSOLUTE* location);
BOOL SHGetPathFromIDListW(PCIDLIST_ABSOLUTE location, LPWSTR path);
void CoTaskMemFree(LPVOID memory);
void ILFree(PIDLIST_ABSOLUTE location);
HRESULT CoInitialize(LPVOID reserved);
void CoUninitialize();
struct IUnknown;
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, LPVOID* object);

struct WIN32_FIND_DATAW;
struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
protected:
    ~IUnknown() = default;
};
struct IShellLinkW : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetPath(LPWSTR file, int size, WIN32_FIND_DATAW* findData, DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDescription(LPWSTR name, int size) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDescription(LPCWSTR name) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPWSTR dir, int size) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCWSTR dir) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIconLocation(LPWSTR iconPath, int size, int* iconIndex) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetIconLocation(LPCWSTR iconPath, int iconIndex) = 0;
    virtual HRESULT STDMETHODCALLTYPE Resolve(HWND window, DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPath(LPCWSTR file) = 0;
protected:
    ~IShellLinkW() = default;
};
struct IPersistFile : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Load(LPCWSTR fileName, DWORD mode) = 0;
    virtual HRESULT STDMETHODCALLTYPE Save(LPCWSTR fileName, BOOL remember) = 0;
protected:
    ~IPersistFile() = default;
};
extern const CLSID CLSID_ShellLink;
extern const IID IID_IUnknown;
extern const IID IID_IShellLinkW;
extern const IID IID_IPersistFile;

// C runtime pieces with their Windows meaning. setlocale is steered to the model's own so that
// the Windows locale names ("chs") and code pages behave as the Microsoft runtime has them.
namespace winmodel {
char* CrtSetLocale(int category, const char* locale);
}
#define setlocale(category, locale) ::winmodel::CrtSetLocale(category, locale)
errno_t wcstombs_s(size_t* converted, char* dest, size_t destSize, const wchar_t* source, size_t count);
errno_t gmtime_s(struct tm* result, const time_t* time);
errno_t fopen_s(FILE** file, const char* name, const char* mode);  // narrow name in the ANSI code page
int _access(const char* name, int mode);                           // narrow name in the ANSI code page
int _unlink(const char* name);                                     // narrow name in the ANSI code page

// The launcher's own entry point, called by the host tests as Windows would call it.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show);
