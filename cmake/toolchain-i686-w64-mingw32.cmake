# Cross toolchain for the shipped 32-bit Windows build (MinGW-w64, i686).
#
# 32-bit programs cannot run here (64-bit Wine only), so there is no emulator:
# tests of this build are compiled but not run.

set(CMAKE_SYSTEM_PROCESSOR x86)
set(FW_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain-common.cmake)
