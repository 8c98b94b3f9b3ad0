// Linux only: the update benchmark's driver for our extractor. It installs one archive as the
// launch path does (ApplyUpdateArchive over the current directory), natively on Linux through the
// Win32 model, whose drive C: is a real folder under the given output folder.
//
// Usage: extract_bench <archive.zip> <output folder>
// Prints the real folder the archive was installed into.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "update/update_install.h"
#include "winapi/model/steering.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <archive.zip> <output folder>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path archive = std::filesystem::absolute(argv[1]);
    const std::filesystem::path output = std::filesystem::absolute(argv[2]);
    std::error_code error;
    std::filesystem::create_directories(output, error);
    // The model makes its sandbox in the temporary folder: here, the output folder.
    setenv("TMPDIR", output.c_str(), 1);

    winmodel::Reset();
    // A test record, not part of the platform: it would grow with every call.
    winmodel::KeepCallLog(false);
    winmodel::SetCurrentDirectory(L"C:\\install");
    const std::filesystem::path staged = winmodel::HostPath(L"C:\\install\\update.zip");
    // A link costs nothing and is gone when the update deletes update.zip; the cached archive stays.
    std::filesystem::create_hard_link(archive, staged, error);
    if (error) std::filesystem::copy_file(archive, staged, error);
    if (error) {
        std::fprintf(stderr, "cannot stage %s: %s\n", archive.c_str(), error.message().c_str());
        return 1;
    }
    // Made behind the model's back.
    winmodel::ForgetFolders();

    update::ApplyUpdateArchive();

    if (winmodel::Exists(L"C:\\install\\update.zip")) {
        std::fprintf(stderr, "update.zip is still there\n");
        return 1;
    }
    std::printf("%s\n", winmodel::HostPath(L"C:\\install").c_str());
    std::fflush(stdout);
    // The model removes its sandbox at exit; the tools this is compared with leave their files,
    // and the caller checks ours.
    _exit(0);
}
