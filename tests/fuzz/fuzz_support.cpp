#include "fuzz_support.h"

#include <iconv.h>
#include <unistd.h>

#include <cstdlib>

namespace fuzz {

namespace {

std::string g_scratch;

void RemoveScratch()
{
    std::error_code ignored;
    if (!g_scratch.empty()) std::filesystem::remove_all(g_scratch, ignored);
}

void KeepCodePagesLoaded()
{
    // The model opens a converter for every conversion; while one of each stays open, glibc keeps
    // its modules loaded instead of loading and unloading them on every run.
    static iconv_t held[4];
    const char* const names[] = {"CP936", "CP1252"};
    size_t next = 0;
    for (const char* name : names) {
        held[next++] = iconv_open(name, "WCHAR_T");
        held[next++] = iconv_open("WCHAR_T", name);
    }
}

}  // namespace

void UseOwnScratchFolder()
{
    if (!g_scratch.empty()) return;
    // Memory-backed where there is one: every run makes and removes a sandbox.
    std::string parent = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::filesystem::temp_directory_path().string();
    std::string pattern = parent + "/fw-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) Fail("cannot make a scratch folder in", parent);
    g_scratch = pattern;
    ::setenv("TMPDIR", g_scratch.c_str(), 1);
    std::atexit(RemoveScratch);
    KeepCodePagesLoaded();
}

void CheckNothingBesideTheSandbox()
{
    const std::filesystem::path sandbox = winmodel::SandboxRoot();
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(g_scratch, error))
        if (entry.path() != sandbox) Fail("a run wrote beside the sandbox:", entry.path().string());
}

}  // namespace fuzz
