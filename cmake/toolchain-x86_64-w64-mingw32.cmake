# Cross toolchain for the 64-bit Windows build (MinGW-w64, x86_64), whose
# programs and tests run under 64-bit Wine through tools/wine-run.sh.

set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(FW_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain-common.cmake)

# ctest, add_custom_command and gtest_discover_tests run Windows programs
# through this wrapper.
get_filename_component(_fw_repo_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${_fw_repo_root}/tools/wine-run.sh")
unset(_fw_repo_root)
