# What both MinGW-w64 toolchains share; each sets FW_MINGW_TRIPLET and
# CMAKE_SYSTEM_PROCESSOR first, then includes this.
#
# The -posix compilers are used because GoogleTest needs std::mutex, which the
# win32 thread model of GCC 12 lacks; tools/bootstrap.sh builds the static
# Boost.Filesystem and tinyxml2 with the same compilers. Programs are linked
# statically (fw_windows_static_link), so winpthread ends up inside the exe.

set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${FW_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FW_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${FW_MINGW_TRIPLET}-windres)
set(CMAKE_AR           ${FW_MINGW_TRIPLET}-ar CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB       ${FW_MINGW_TRIPLET}-ranlib CACHE FILEPATH "Ranlib")

# Headers and libraries only from the MinGW sysroot; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${FW_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
