// Linux model only: the world object, the fault plan, handles, the module and the small user
// interface pieces (message box, key state, ShellExecuteW, debugger output).
#include <locale.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <wctype.h>
#include <filesystem>
#include <string_view>

#include "world.h"

namespace winmodel {

namespace {

WorldState* g_world = nullptr;

std::string MakeSandbox()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "winmodel-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    return pattern;
}

void RemoveSandbox(const std::string& path)
{
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
}

struct SandboxCleanup {
    ~SandboxCleanup()
    {
        if (g_world) RemoveSandbox(g_world->sandbox);
    }
} g_cleanup;

}  // namespace

WorldState& World()
{
    if (!g_world) {
        g_world = new WorldState;
        g_world->sandbox = MakeSandbox();
        std::filesystem::create_directories(g_world->sandbox + "/C");
        // A Windows installation always has the all-users desktop.
        std::filesystem::create_directories(g_world->sandbox + "/C/Users/Public/Desktop");
    }
    return *g_world;
}

void Reset()
{
    if (g_world) {
        for (auto& [handle, object] : g_world->handles)
            if (object.fd >= 0) ::close(object.fd);
        RemoveSandbox(g_world->sandbox);
        delete g_world;
        g_world = nullptr;
    }
    World();
}

bool EnterCall(const char* name)
{
    WorldState& w = World();
    // A write may add to the writes gathered for its handle; any other call sees the file whole.
    if (!w.gathered.empty() && std::strcmp(name, "WriteFile") != 0) FlushGatheredWrites();
    ++w.totalCalls;
    // Looked up by the name as it is, without making a string of it on every call.
    auto counted = w.callCounts.find(std::string_view(name));
    if (counted == w.callCounts.end()) counted = w.callCounts.emplace(name, 0).first;
    long nth = ++counted->second;
    if (w.keepCallLog) w.callLog.emplace_back(name);
    if (w.callLimit > 0 && w.totalCalls > w.callLimit) {
        std::fprintf(stderr, "winmodel: more than %ld platform calls, the last %s: taken for a hang\n", w.callLimit, name);
        std::abort();
    }
    for (const FaultRule& rule : w.faults) {
        long count = rule.call.empty() ? w.totalCalls : (rule.call == name ? nth : 0);
        if (count == 0) continue;
        if (count == rule.nth || (rule.persistent && count > rule.nth)) {
            ++w.faultsHit;
            w.lastError = rule.error;
            return true;
        }
    }
    return false;
}

void FailCall(const std::string& call, long nth, DWORD error, bool persistent)
{
    World().faults.push_back(FaultRule{call, nth, persistent, error});
}

void FailNthCall(long n, bool persistent, DWORD error)
{
    World().faults.push_back(FaultRule{std::string(), n, persistent, error});
}

void SetCallLimit(long calls) { World().callLimit = calls; }
long CallCount() { return World().totalCalls; }
void KeepCallLog(bool keep) { World().keepCallLog = keep; }
long FaultsHit() { return World().faultsHit; }
const std::vector<std::string>& CallLog() { return World().callLog; }
long CallsNamed(const std::string& call)
{
    auto it = World().callCounts.find(call);
    return it == World().callCounts.end() ? 0 : it->second;
}

HANDLE NewHandle(HandleObject object)
{
    WorldState& w = World();
    HANDLE handle = reinterpret_cast<HANDLE>(w.nextHandle);
    w.nextHandle += 4;
    w.handles.emplace(handle, std::move(object));
    return handle;
}

HandleObject* FindHandle(HANDLE handle)
{
    auto it = World().handles.find(handle);
    return it == World().handles.end() ? nullptr : &it->second;
}

// Windows upper-cases file names and ordinal comparisons with a table covering the whole of
// UTF-16, one unit at a time; the "C" locale of glibc would fold ASCII letters only.
std::wstring UpperCase(const std::wstring& text)
{
    static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    std::wstring upper(text);
    for (wchar_t& c : upper) {
        if (static_cast<std::uint32_t>(c) > 0xFFFF) continue;  // a surrogate pair on Windows: not folded
        wint_t folded = unicode ? ::towupper_l(static_cast<wint_t>(c), unicode) : std::towupper(static_cast<wint_t>(c));
        if (folded <= 0xFFFF) c = static_cast<wchar_t>(folded);
    }
    return upper;
}

void SetModulePath(const std::wstring& windowsPath) { World().modulePath = windowsPath; }
HINSTANCE ModuleInstance() { return reinterpret_cast<HINSTANCE>(static_cast<ULONG_PTR>(0x400000)); }
void SetAnsiCodePage(UINT codePage) { World().ansiCodePage = codePage; }
void SetTimeZoneBiasMinutes(long bias) { World().biasMinutes = bias; }
void SetKeyDown(int virtualKey, bool down)
{
    if (down)
        World().keysDown.insert(virtualKey);
    else
        World().keysDown.erase(virtualKey);
}
std::vector<int> KeyStateQueries() { return World().keyQueries; }

void AnswerMessageBoxes(int answer) { World().messageBoxAnswer = answer; }
const std::vector<MessageBoxCall>& MessageBoxes() { return World().messageBoxes; }
const std::vector<ShellExecuteCall>& ShellExecutes() { return World().shellExecutes; }
const std::vector<PostedMessage>& PostedMessages() { return World().posted; }
HWND DesktopWindow() { return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x10010)); }
const std::vector<ChangeNotification>& ChangeNotifications() { return World().notifications; }
const std::vector<std::string>& DebugOutput() { return World().debugOutput; }

}  // namespace winmodel

using namespace winmodel;

DWORD GetLastError() { return World().lastError; }
void SetLastError(DWORD error) { World().lastError = error; }

namespace {

// GetModuleFileName truncates to the buffer, terminates it and reports ERROR_INSUFFICIENT_BUFFER.
template <class Char>
DWORD CopyModulePath(const std::basic_string<Char>& path, Char* buffer, DWORD size)
{
    if (size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() < size) {
        std::copy(path.begin(), path.end(), buffer);
        buffer[path.size()] = 0;
        SetLastError(ERROR_SUCCESS);
        return static_cast<DWORD>(path.size());
    }
    std::copy(path.begin(), path.begin() + (size - 1), buffer);
    buffer[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

}  // namespace

DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size)
{
    MODEL_CALL("GetModuleFileNameW", 0);
    if (module != nullptr && module != ModuleInstance()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return CopyModulePath(World().modulePath, buffer, size);
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size)
{
    MODEL_CALL("GetModuleFileNameA", 0);
    if (module != nullptr && module != ModuleInstance()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return CopyModulePath(EncodeText(CP_ACP, World().modulePath), buffer, size);
}

HMODULE GetModuleHandleW(LPCWSTR name)
{
    MODEL_CALL("GetModuleHandleW", nullptr);
    if (name != nullptr) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    return ModuleInstance();
}

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    MODEL_CALL("MessageBoxW", 0);
    World().messageBoxes.push_back(
        MessageBoxCall{text ? text : L"", caption ? caption : L"Error", type, owner == nullptr});
    return World().messageBoxAnswer;
}

SHORT GetAsyncKeyState(int key)
{
    MODEL_CALL("GetAsyncKeyState", 0);
    World().keyQueries.push_back(key);
    return World().keysDown.count(key) ? static_cast<SHORT>(0x8000) : 0;
}

HINSTANCE ShellExecuteW(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory, INT show)
{
    MODEL_CALL("ShellExecuteW", reinterpret_cast<HINSTANCE>(static_cast<ULONG_PTR>(2)));
    ShellExecuteCall call;
    call.ownerNull = owner == nullptr;
    call.verb = verb ? verb : L"";
    call.file = file ? file : L"";
    call.parameters = parameters ? parameters : L"";
    call.directoryNull = directory == nullptr;
    call.directory = directory ? directory : L"";
    call.show = show;
    call.currentDirectory = World().currentDirectory;
    World().shellExecutes.push_back(call);
    // Values above 32 mean success.
    return reinterpret_cast<HINSTANCE>(static_cast<ULONG_PTR>(42));
}

HWND GetDesktopWindow()
{
    MODEL_CALL("GetDesktopWindow", nullptr);
    return DesktopWindow();
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MODEL_CALL("PostMessageW", FALSE);
    World().posted.push_back(PostedMessage{window, message, wParam, lParam});
    return TRUE;
}

void SHChangeNotify(LONG eventId, UINT flags, LPCVOID item1, LPCVOID item2)
{
    if (EnterCall("SHChangeNotify")) return;
    World().notifications.push_back(ChangeNotification{eventId, flags, item1 == nullptr && item2 == nullptr});
}

void OutputDebugStringA(LPCSTR text)
{
    if (EnterCall("OutputDebugStringA")) return;
    World().debugOutput.emplace_back(text ? text : "");
}
