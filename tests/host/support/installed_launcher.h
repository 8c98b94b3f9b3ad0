// The launcher installed in its own folder and started from another one, as a user starts it from
// a shortcut or a link, and one run of it as Windows makes it.
#pragma once

#include <string>

#include "model_fixture.h"
#include "winapi/winapi.h"

// wWinMain may write into its command line, as Windows lets it: it is given a copy of its own.
inline int RunLauncher(std::wstring commandLine)
{
    return wWinMain(winmodel::ModuleInstance(), nullptr, commandLine.data(), SW_SHOWNORMAL);
}

class InstalledLauncher : public ModelTest {
protected:
    static constexpr wchar_t kInstall[] = L"C:\\Program Files\\kivo app";
    static constexpr wchar_t kLauncher[] = L"C:\\Program Files\\kivo app\\Fennowick.exe";
    static constexpr wchar_t kStartFolder[] = L"C:\\Users\\someone";

    void SetUp() override
    {
        ModelTest::SetUp();
        winmodel::WriteFile(kLauncher, "MZ");  // makes the install folder on the way
        winmodel::SetModulePath(kLauncher);
        winmodel::SetCurrentDirectory(kStartFolder);
    }

    static int Run(const std::wstring& commandLine) { return RunLauncher(commandLine); }
};
