// What the fuzz targets share: a check that stops the run with a message (libFuzzer keeps the
// input that made it), and a picture of the model's sandbox to tell which files a run changed.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>

#include "winapi/model/steering.h"

namespace fuzz {

// The model makes its sandboxes in TMPDIR: each target gives it a folder of its own, so that a
// path escaping the sandbox shows up beside it (CheckNothingBesideTheSandbox).
void UseOwnScratchFolder();
void CheckNothingBesideTheSandbox();

[[noreturn]] inline void Fail(const char* what, const std::string& detail = std::string())
{
    std::fprintf(stderr, "fuzz check failed: %s %s\n", what, detail.c_str());
    std::abort();
}

inline void Check(bool condition, const char* what, const std::string& detail = std::string())
{
    if (!condition) Fail(what, detail);
}

// Every file and folder of the sandbox by its path relative to the sandbox root: "d" for a folder,
// "f" and the content for a file. Small: a run starts from a fresh, nearly empty sandbox.
using Picture = std::map<std::string, std::string>;

inline bool IsFolder(const std::string& entry) { return entry == "d"; }

inline Picture TakePicture()
{
    Picture picture;
    const std::filesystem::path root = winmodel::SandboxRoot();
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
        const std::string relative = it->path().lexically_relative(root).string();
        if (it->is_directory(error)) {
            picture[relative] = "d";
        } else {
            std::string bytes = "f";
            if (std::FILE* f = std::fopen(it->path().c_str(), "rb")) {
                char buffer[4096];
                size_t n;
                while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
                std::fclose(f);
            }
            picture[relative] = bytes;
        }
    }
    if (error) Fail("cannot walk the sandbox", error.message());
    return picture;
}

// True when path lies in the folder (relative sandbox paths, '/' separated) or is the folder.
inline bool Within(const std::string& path, const std::string& folder)
{
    return path == folder || (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                              path[folder.size()] == '/');
}

// Outside the allowed folders nothing may appear, disappear or change.
template <typename... Folders>
void CheckOnlyWithin(const Picture& before, const Picture& after, const Folders&... allowed)
{
    auto allowedPath = [&](const std::string& path) { return (Within(path, allowed) || ...); };
    for (const auto& [path, content] : after) {
        if (allowedPath(path)) continue;
        auto it = before.find(path);
        if (it == before.end()) Fail("a run made a path outside the allowed folders:", path);
        if (it->second != content) Fail("a run changed a path outside the allowed folders:", path);
    }
    for (const auto& [path, content] : before)
        if (!allowedPath(path) && after.find(path) == after.end())
            Fail("a run removed a path outside the allowed folders:", path);
}

// The sandbox's folder of a Windows path, relative to the sandbox root.
inline std::string SandboxRelative(const std::wstring& windowsPath)
{
    return std::filesystem::path(winmodel::HostPath(windowsPath))
        .lexically_relative(winmodel::SandboxRoot())
        .string();
}

}  // namespace fuzz
