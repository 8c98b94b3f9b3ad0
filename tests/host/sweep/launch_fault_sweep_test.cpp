// Fault sweep over the whole run of wWinMain: from a few realistic starting states, platform call
// number N is made to fail, for N = 1, 2, 3 ... until a run meets no fault, once failing that call
// alone and once failing every call from N on. Whatever fails, a run ends with the exit code of
// the path it took, writes nowhere but the install folder, the all-users desktop and the
// link-scheme key, and leaves every installed file whole: as it was, or as the update has it.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "../../support/zip_builder.h"
#include "../support/installed_launcher.h"
#include "winapi/winapi.h"

namespace {

const wchar_t kParent[] = L"C:\\Program Files";
const wchar_t kInstall[] = L"C:\\Program Files\\kivo app";
const wchar_t kLauncher[] = L"C:\\Program Files\\kivo app\\Fennowick.exe";
const wchar_t kDesktop[] = L"C:\\Users\\Public\\Desktop";
const wchar_t kPipe[] = L"\\\\.\\Pipe\\ZUREZU_kivo";
// Far above what any run of these states makes: more is a loop that does not end.
constexpr long kCallLimit = 200000;

std::wstring InInstall(const std::wstring& relative) { return std::wstring(kInstall) + L"\\" + relative; }
std::wstring OnDesktop(const std::wstring& name) { return std::wstring(kDesktop) + L"\\" + name + L".lnk"; }

// Install-folder names relative to the folder, with '/' between components, as the host tree
// and the archive spell them.
std::wstring WindowsName(const std::string& relative)
{
    std::wstring name;
    for (char c : relative) name += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return name;
}

// ---- The starting states -----------------------------------------------------------------------

// Installed files that every state starts with.
const std::map<std::string, std::string> kInstalled = {
    {"Fennowick.exe", "MZ launcher"},
    {"kivo.exe", "MZ kivo 1.0"},
    {"kivo.ico", std::string("\0\0\1\0icon", 8)},
    {"bin/a.dll", "MZ a 1.0"},
    {"bin/b.dll", "MZ b 1.0"},
    {"readme.txt", "kivo 1.0\r\n"},
};

// An update of several entries: the running program itself, a folder, a replaced and a new file
// in it, one deflated text; the installed bin/b.dll and kivo.ico are not part of it.
std::string UpdateArchive(std::map<std::string, std::string>* files)
{
    ziptest::Archive archive;
    auto add = [&](const std::string& name, const std::string& data, uint16_t method) {
        ziptest::Entry entry;
        entry.name = name;
        entry.data = data;
        entry.method = method;
        if (name.back() == '/') entry.externalAttributes = 0x10;
        archive.entries.push_back(entry);
        if (name.back() != '/') (*files)[name] = data;
    };
    add("kivo.exe", "MZ kivo 2.0 " + std::string(3000, 'k'), 8);
    add("bin/", "", 0);
    add("bin/a.dll", "MZ a 2.0", 0);
    add("bin/c.dll", "MZ c 2.0 (new)", 0);
    std::string text;
    for (int i = 0; i < 400; ++i) text += "line " + std::to_string(i) + " of the new readme\r\n";
    add("readme.txt", text, 8);
    return ziptest::Build(archive);
}

std::string Config()
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<config>\n"
           "  <shortcut_cn>\xE6\x97\xA7 kivo</shortcut_cn>\n"
           "  <shortcut_en>Kivo</shortcut_en>\n"
           "  <shortcut_new_cn>\xE6\x96\xB0 kivo</shortcut_new_cn>\n"
           "  <shortcut_new_en>Kivo Studio</shortcut_new_en>\n"
           "</config>\n";
}

enum class StateId { ForcedUpdateAndShortcuts, HandOff, PlainLaunchStagedUpdate };

struct State {
    StateId id;
    const char* name;
    const wchar_t* commandLine;
    bool handOff;  // the path the run takes when nothing fails
};

const State kStates[] = {
    {StateId::ForcedUpdateAndShortcuts, "ForcedUpdateAndShortcuts", L"forcerun:--page 2", false},
    {StateId::HandOff, "HandOff", L"\"tessaluvian://open?id=42&name=x\"", true},
    {StateId::PlainLaunchStagedUpdate, "PlainLaunchStagedUpdate", L"--page 2", false},
};

void PrintTo(const State& state, std::ostream* out) { *out << state.name; }

// What the state's update installs (empty when it has none).
struct Prepared {
    std::map<std::string, std::string> updateFiles;
    std::string pending, staged;  // the bytes of temp\update.zip and update.zip, when present
};

Prepared Prepare(const State& state)
{
    winmodel::Reset();
    winmodel::SetCallLimit(kCallLimit);
    Prepared prepared;
    for (const auto& [name, bytes] : kInstalled) winmodel::WriteFile(InInstall(WindowsName(name)), bytes);
    winmodel::SetModulePath(kLauncher);
    winmodel::MakeFolder(kDesktop);
    winmodel::MakeFolder(L"C:\\Users\\someone\\Documents");
    winmodel::WriteFile(L"C:\\Users\\someone\\Documents\\notes.txt", "not the launcher's");
    winmodel::SetCurrentDirectory(kParent);
    winmodel::SetRegString(HKEY_CURRENT_USER, L"SOFTWARE\\kivo", L"Language", L"zh-CN");
    winmodel::SetRegString(HKEY_CLASSES_ROOT, L".txt", L"", L"txtfile");

    switch (state.id) {
    case StateId::ForcedUpdateAndShortcuts: {
        winmodel::ProcessOptions running;
        running.imagePath = InInstall(L"kivo.exe");  // locked while it runs
        winmodel::AddProcess(L"kivo.exe", running);
        prepared.pending = UpdateArchive(&prepared.updateFiles);
        winmodel::WriteFile(InInstall(L"temp\\update.zip"), prepared.pending);
        winmodel::WriteFile(InInstall(L"temp\\update.td1"), "leftover");
        winmodel::WriteFile(InInstall(L"ProductConfig.xml"), Config());
        winmodel::ShellLinkData link;
        link.path = kLauncher;
        link.description = L"kivo";
        link.workingDirectory = kInstall;
        link.iconPath = InInstall(L"kivo.ico");
        EXPECT_TRUE(winmodel::MakeShellLink(OnDesktop(L"\x65E7 kivo"), link));
        EXPECT_TRUE(winmodel::MakeShellLink(OnDesktop(L"\x65B0 kivo"), link));
        break;
    }
    case StateId::HandOff:
        winmodel::AddProcess(L"kivo.exe");
        winmodel::AnswerMessageBoxes(IDCANCEL);
        winmodel::ServePipe(kPipe);
        break;
    case StateId::PlainLaunchStagedUpdate:
        prepared.staged = UpdateArchive(&prepared.updateFiles);
        winmodel::WriteFile(InInstall(L"update.zip"), prepared.staged);
        break;
    }
    return prepared;
}

// ---- Snapshots ---------------------------------------------------------------------------------

struct TreeSnapshot {
    std::map<std::string, std::string> files;  // host path relative to the sandbox -> bytes
    std::set<std::string> folders;
};

TreeSnapshot SnapshotTree()
{
    namespace fs = std::filesystem;
    TreeSnapshot snapshot;
    const fs::path root = winmodel::SandboxRoot();
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(entry.path(), root).generic_string();
        if (entry.is_directory()) {
            snapshot.folders.insert(relative);
        } else {
            std::ifstream in(entry.path(), std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            snapshot.files[relative] = bytes.str();
        }
    }
    return snapshot;
}

// Every value of every key, by "root|KEY|name".
std::map<std::wstring, std::pair<DWORD, std::string>> SnapshotRegistry()
{
    const std::pair<HKEY, const wchar_t*> roots[] = {
        {HKEY_CLASSES_ROOT, L"HKCR"}, {HKEY_CURRENT_USER, L"HKCU"}, {HKEY_LOCAL_MACHINE, L"HKLM"}, {HKEY_USERS, L"HKU"}};
    std::map<std::wstring, std::pair<DWORD, std::string>> values;
    for (const auto& [root, rootName] : roots) {
        for (const std::wstring& key : winmodel::RegKeys(root)) {
            values[std::wstring(rootName) + L"|" + key + L"|"] = {REG_NONE, "(key)"};
            for (const std::wstring& name : winmodel::RegValueNames(root, key)) {
                winmodel::RegValue value;
                if (winmodel::GetRegValue(root, key, name, &value))
                    values[std::wstring(rootName) + L"|" + key + L"|" + name] = {value.type, value.data};
            }
        }
    }
    return values;
}

bool UnderLinkScheme(const std::wstring& entry)
{
    const std::wstring prefix = L"HKCR|TESSALUVIAN";
    return entry.compare(0, prefix.size(), prefix) == 0 &&
           (entry.size() == prefix.size() || entry[prefix.size()] == L'\\' || entry[prefix.size()] == L'|');
}

// The host-tree prefix of a Windows folder, relative to the sandbox, ending in '/'.
std::string TreePrefix(const std::wstring& folder)
{
    return std::filesystem::relative(winmodel::HostPath(folder), winmodel::SandboxRoot()).generic_string() + "/";
}

std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (wchar_t c : text) narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

// ---- One run -------------------------------------------------------------------------------------

struct RunOutcome {
    int exitCode = -1;
    long calls = 0;
    long faultsHit = 0;
    std::string failedCall;  // the call at the failing position
    long failedOccurrence = 0;
};

class LaunchFaultSweep : public ModelTest, public testing::WithParamInterface<std::tuple<State, bool>> {
protected:
    // The message a served pipe receives when nothing fails: it tells a whole hand-off apart.
    void LearnCleanRun(const State& state)
    {
        const Prepared prepared = Prepare(state);
        const int exitCode = RunLauncher(state.commandLine);
        ASSERT_EQ(exitCode, 0);
        ASSERT_EQ(winmodel::FaultsHit(), 0);
        cleanCalls_ = winmodel::CallCount();
        if (state.handOff) {
            const std::vector<std::string> messages = winmodel::PipeMessages(kPipe);
            ASSERT_EQ(messages.size(), 1u);
            ASSERT_FALSE(messages[0].empty());
            ASSERT_EQ(messages[0].back(), '\0');
            cleanMessage_ = messages[0];
            ASSERT_EQ(winmodel::CallsNamed("ShellExecuteW"), 0);
        } else {
            ASSERT_EQ(winmodel::ShellExecutes().size(), 1u);
        }
        // Without faults the state does all it is there for, or the sweep would prove little.
        for (const auto& [name, bytes] : prepared.updateFiles) {
            std::string installed;
            EXPECT_TRUE(winmodel::ReadWholeFile(InInstall(WindowsName(name)), &installed) && installed == bytes) << name;
        }
        EXPECT_FALSE(winmodel::Exists(InInstall(L"update.zip")));
        EXPECT_FALSE(winmodel::Exists(InInstall(L"temp\\update.zip")));
        if (state.id == StateId::ForcedUpdateAndShortcuts) {
            EXPECT_TRUE(winmodel::MessageBoxes().empty());
            for (const winmodel::ProcessRecord& process : winmodel::Processes())
                if (process.exeName == L"kivo.exe") {
                    EXPECT_FALSE(process.alive);
                }
            winmodel::ShellLinkData link;
            EXPECT_TRUE(winmodel::ReadShellLink(OnDesktop(L"\x65B0 kivo"), &link));
            EXPECT_EQ(link.path, kLauncher);
            EXPECT_EQ(link.description, L"kivo");
        }
    }

    RunOutcome RunWithFault(const State& state, long n, bool persistent)
    {
        const Prepared prepared = Prepare(state);
        const TreeSnapshot before = SnapshotTree();
        const auto registryBefore = SnapshotRegistry();
        const std::string installPrefix = TreePrefix(kInstall);
        const std::string desktopPrefix = TreePrefix(kDesktop);

        winmodel::FailNthCall(n, persistent);
        RunOutcome outcome;
        outcome.exitCode = RunLauncher(state.commandLine);
        outcome.calls = winmodel::CallCount();
        outcome.faultsHit = winmodel::FaultsHit();
        const std::vector<std::string>& log = winmodel::CallLog();
        if (outcome.faultsHit > 0 && static_cast<size_t>(n) <= log.size()) {
            outcome.failedCall = log[static_cast<size_t>(n) - 1];
            for (long i = 0; i < n; ++i) outcome.failedOccurrence += log[static_cast<size_t>(i)] == outcome.failedCall;
        }

        SCOPED_TRACE(testing::Message() << "failing call: " << outcome.failedCall << " #" << outcome.failedOccurrence);

        // The path: the launch path always ends by starting kivo.exe; the hand-off never does.
        const bool launched = winmodel::CallsNamed("ShellExecuteW") > 0;
        if (launched) {
            EXPECT_EQ(outcome.exitCode, 0) << "launch path";
            EXPECT_EQ(winmodel::CallsNamed("ShellExecuteW"), 1);
        } else {
            EXPECT_TRUE(state.handOff) << "the launch path ended before starting kivo.exe";
            const std::vector<std::string> messages = winmodel::PipeMessages(kPipe);
            const bool whole = messages.size() == 1 && messages[0] == cleanMessage_;
            EXPECT_EQ(outcome.exitCode, whole ? 0 : 1) << "hand-off, " << messages.size() << " message(s)";
            EXPECT_LE(messages.size(), 1u);
            // A partial message is a failed hand-off, never a different link.
            for (const std::string& message : messages) EXPECT_EQ(cleanMessage_.compare(0, message.size(), message), 0);
        }

        // Nothing may stay open, unless the very call that releases it was made to fail.
        std::set<std::string> failed;
        for (size_t i = static_cast<size_t>(n) - 1; i < log.size() && (persistent || i == static_cast<size_t>(n) - 1); ++i)
            failed.insert(log[i]);
        if (!failed.count("CloseHandle")) {
            EXPECT_EQ(winmodel::OpenHandles(), 0);
        }
        if (!failed.count("RegCloseKey")) {
            EXPECT_EQ(winmodel::OpenRegKeys(), 0);
        }
        if (!failed.count("CoUninitialize")) {
            EXPECT_EQ(winmodel::ComInitCount(), 0);
        }
        if (!failed.count("ILFree") && !failed.count("CoTaskMemFree")) {
            EXPECT_EQ(winmodel::LiveFolderLocations(), 0);
        }
        EXPECT_EQ(winmodel::LiveShellLinks(), 0);

        // The registry changes under the link-scheme key only.
        const auto registryAfter = SnapshotRegistry();
        for (const auto& [entry, value] : registryBefore) {
            if (UnderLinkScheme(entry)) continue;
            auto it = registryAfter.find(entry);
            EXPECT_TRUE(it != registryAfter.end() && it->second == value) << "registry changed: " << Narrow(entry);
        }
        for (const auto& [entry, value] : registryAfter)
            EXPECT_TRUE(UnderLinkScheme(entry) || registryBefore.count(entry)) << "registry added: " << Narrow(entry);

        // Files: outside the two folders nothing changes; installed files stay whole.
        const TreeSnapshot after = SnapshotTree();
        auto inInstall = [&](const std::string& path) { return StartsWith(path, installPrefix); };
        auto onDesktop = [&](const std::string& path) { return StartsWith(path, desktopPrefix); };
        for (const auto& [path, bytes] : before.files) {
            auto it = after.files.find(path);
            if (!inInstall(path)) {
                if (onDesktop(path)) continue;
                EXPECT_TRUE(it != after.files.end() && it->second == bytes) << "changed outside: " << path;
                continue;
            }
            const std::string relative = path.substr(installPrefix.size());
            if (relative == "temp/update.zip" || relative == "update.zip" || relative == "temp/update.td1") {
                // The update's own files and a leftover come and go.
                if (it != after.files.end()) {
                    EXPECT_EQ(it->second, bytes) << relative;
                }
                continue;
            }
            if (it == after.files.end()) {
                ADD_FAILURE() << "installed file missing: " << relative;
                continue;
            }
            auto update = prepared.updateFiles.find(relative);
            const bool asBefore = it->second == bytes;
            const bool asUpdate = update != prepared.updateFiles.end() && it->second == update->second;
            EXPECT_TRUE(asBefore || asUpdate) << "installed file damaged: " << relative;
        }
        for (const auto& [path, bytes] : after.files) {
            if (before.files.count(path)) continue;
            if (!inInstall(path)) {
                EXPECT_TRUE(onDesktop(path)) << "written outside: " << path;
                if (onDesktop(path)) {
                    EXPECT_EQ(path.substr(path.size() - 4), ".lnk") << path;
                }
                continue;
            }
            const std::string relative = path.substr(installPrefix.size());
            if (relative == "update.zip") {
                // Staged from the pending update: the whole archive, never a part of it.
                EXPECT_EQ(bytes, prepared.pending) << "staged archive";
                continue;
            }
            // A temporary file stays only where the launcher could not delete it: its delete failed,
            // or its handle could not be closed (the launcher itself still holds the file).
            const std::string leaf = relative.substr(relative.find_last_of('/') + 1);
            const bool temporary = StartsWith(leaf, "~fw") && leaf.size() == 12 && leaf.substr(8) == ".tmp";
            if (temporary && (failed.count("DeleteFileW") || failed.count("CloseHandle"))) continue;
            auto update = prepared.updateFiles.find(relative);
            if (update == prepared.updateFiles.end())
                ADD_FAILURE() << "stray file in the install folder: " << relative;
            else
                EXPECT_EQ(bytes, update->second) << "new file incomplete: " << relative;
        }
        for (const std::string& folder : before.folders)
            EXPECT_TRUE(after.folders.count(folder)) << "folder removed: " << folder;
        for (const std::string& folder : after.folders)
            EXPECT_TRUE(before.folders.count(folder) || inInstall(folder + "/")) << "folder made outside: " << folder;
        return outcome;
    }

    long cleanCalls_ = 0;
    std::string cleanMessage_;
};

TEST_P(LaunchFaultSweep, EveryFailingCallKeepsTheRunSound)
{
    const State& state = std::get<0>(GetParam());
    const bool persistent = std::get<1>(GetParam());
    LearnCleanRun(state);
    if (HasFatalFailure()) return;

    const auto start = std::chrono::steady_clock::now();
    long runs = 0;
    long longestRun = 0;
    long failingRuns = 0;
    std::set<std::string> names;
    std::set<std::pair<std::string, long>> sites;
    for (long n = 1;; ++n) {
        SCOPED_TRACE(testing::Message() << state.name << (persistent ? ", persistent" : ", once") << ", call " << n);
        const RunOutcome outcome = RunWithFault(state, n, persistent);
        ++runs;
        longestRun = std::max(longestRun, outcome.calls);
        if (HasFailure() && ++failingRuns >= 5) break;  // enough to show the fault
        if (outcome.faultsHit == 0) break;
        names.insert(outcome.failedCall);
        sites.insert({outcome.failedCall, outcome.failedOccurrence});
        ASSERT_LE(n, cleanCalls_) << "a fault past the clean run's calls";
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    EXPECT_EQ(runs, cleanCalls_ + 1);  // every call of the clean run was made to fail once
    RecordProperty("runs", static_cast<int>(runs));
    RecordProperty("call_names", static_cast<int>(names.size()));
    RecordProperty("call_sites", static_cast<int>(sites.size()));
    std::cout << "[ sweep    ] " << state.name << (persistent ? " (persistent)" : " (once)") << ": " << runs
              << " runs, " << names.size() << " distinct calls, " << sites.size()
              << " distinct (call, occurrence) sites, clean run " << cleanCalls_ << " calls, longest run "
              << longestRun << " calls, " << seconds << " s\n";
}

std::string ParamName(const testing::TestParamInfo<std::tuple<State, bool>>& info)
{
    return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "_Persistent" : "_Once");
}

INSTANTIATE_TEST_SUITE_P(States, LaunchFaultSweep, testing::Combine(testing::ValuesIn(kStates), testing::Bool()),
                         ParamName);

}  // namespace
