// A scratch folder made the current directory for one test, with "update.zip" placed in it; the
// same on the model and on the real API under Wine.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_files.h"
#include "winapi/winapi.h"

namespace ziptest {

using testfiles::ReadWholeFile;
using testfiles::WriteWholeFile;

class ArchiveFolder : public testing::Test {
protected:
    void SetUp() override
    {
        GetCurrentDirectoryW(MAX_PATH, saved_);
        static unsigned serial = 0;
        wchar_t name[64];
        wsprintfW(name, L"C:\\fw-zip-%u-%u", static_cast<unsigned>(GetCurrentProcessId()), ++serial);
        folder_ = name;
        CreateDirectoryW(folder_.c_str(), nullptr);
        ASSERT_TRUE(SetCurrentDirectoryW(folder_.c_str()));
    }
    void TearDown() override
    {
        SetCurrentDirectoryW(saved_);
        for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
            SetFileAttributesW(it->c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileW(it->c_str())) RemoveDirectoryW(it->c_str());
        }
        DeleteFileW((folder_ + L"\\update.zip").c_str());
        RemoveDirectoryW(folder_.c_str());
    }

    void PlaceArchive(const std::string& bytes) { ASSERT_TRUE(WriteWholeFile(folder_ + L"\\update.zip", bytes)); }
    // Paths under the folder that a test made or had made, removed (innermost last added first).
    void WillRemove(const std::wstring& relative) { created_.push_back(folder_ + L"\\" + relative); }
    std::wstring Path(const std::wstring& relative) const { return folder_ + L"\\" + relative; }

    std::wstring folder_;
    wchar_t saved_[MAX_PATH] = {};
    std::vector<std::wstring> created_;
};

}  // namespace ziptest
