// The platform gateway: the only header through which launcher code reaches Win32, COM and the
// Microsoft C runtime. On Windows it brings in the system headers, configured once here. On Linux
// it declares the project's own model of exactly the calls the launcher makes (winapi/model/),
// which tests steer through winapi/model/steering.h.
#pragma once

#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#ifndef MINGW_HAS_SECURE_API
#define MINGW_HAS_SECURE_API 1
#endif

#include <windows.h>
// Order matters: the shell headers need the COM declarations that WIN32_LEAN_AND_MEAN leaves out.
#include <objbase.h>
#include <objidl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <tlhelp32.h>

#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <wchar.h>

#else

#include "model/api.h"

#endif

#include <clocale>
#include <cstdio>
