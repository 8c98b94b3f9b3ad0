// What the launcher fixes about the main application it serves: its file name and the names
// derived from it, and the texts of the launch command line.
#pragma once

namespace launcher {

inline constexpr wchar_t kMainAppFileName[] = L"kivo.exe";
// The file name without its last four characters (".exe").
inline constexpr wchar_t kProductBaseName[] = L"kivo";

inline constexpr wchar_t kForcedModePrefix[] = L"forcerun:";
inline constexpr wchar_t kLinkSchemePrefix[] = L"tessaluvian://";
inline constexpr wchar_t kConfigPathFormat[] = L"%s//ProductConfig.xml";
inline constexpr wchar_t kIconPathFormat[] = L"%s//%s.ico";
inline constexpr wchar_t kAdminSuffix[] = L" IsAdmin";
inline constexpr wchar_t kShellVerb[] = L"open";
inline constexpr wchar_t kPipeName[] = L"\\\\.\\Pipe\\ZUREZU_kivo";

}  // namespace launcher
