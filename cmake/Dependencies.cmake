# Third-party libraries for the host, win32 and win64 builds.
# Include once from the top-level CMakeLists.txt, after project().
#
# Targets (link them with target_link_libraries):
#   fw::boost_filesystem  Boost.Filesystem plus all Boost headers (boost::any)
#   fw::tinyxml2          tinyxml2
#   fw::zlib              zlib
#   fw::gtest             GoogleTest and GoogleMock
#   fw::gtest_main        fw::gtest plus a main() that initialises both
# Functions:
#   fw_windows_static_link(<target>)  on MinGW, link libgcc, libstdc++ and
#                                     winpthread into the exe; no-op elsewhere
#   fw_discover_tests(<target> ...)   gtest_discover_tests where the tests can
#                                     run (host, win64); extra args passed on
# Variables:
#   FW_CAN_RUN_TESTS      TRUE when test programs can run on this machine
#   FW_MINGW_TRIPLET      i686-w64-mingw32 / x86_64-w64-mingw32 (MinGW only)
#   FW_MINGW_DEPS_DIR     build/deps/<triplet> (MinGW only)
#
# On Linux the Debian packages are used. On MinGW, Boost.Filesystem and
# tinyxml2 are the static libraries that tools/bootstrap.sh builds into
# build/deps/<triplet>, and zlib is Debian's libz-mingw-w64-dev.

include_guard(GLOBAL)

set(FW_GOOGLETEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH
    "GoogleTest sources (Debian package googletest)")
set(FW_DEPS_ROOT "${CMAKE_CURRENT_LIST_DIR}/../build/deps" CACHE PATH
    "Where tools/bootstrap.sh puts the MinGW builds of Boost.Filesystem and tinyxml2")
get_filename_component(FW_DEPS_ROOT "${FW_DEPS_ROOT}" ABSOLUTE)

# Compiled code is kept off the Boost.Filesystem v2 names that 1.74 still carries.
set(_fw_boost_definitions BOOST_FILESYSTEM_NO_DEPRECATED BOOST_ALL_NO_LIB)

if(MINGW)
    if(NOT FW_MINGW_TRIPLET)
        if(CMAKE_SIZEOF_VOID_P EQUAL 8)
            set(FW_MINGW_TRIPLET x86_64-w64-mingw32)
        else()
            set(FW_MINGW_TRIPLET i686-w64-mingw32)
        endif()
    endif()
    set(FW_MINGW_DEPS_DIR "${FW_DEPS_ROOT}/${FW_MINGW_TRIPLET}")
    set(_fw_sysroot "/usr/${FW_MINGW_TRIPLET}")

    set(_fw_missing "")
    foreach(_fw_file
            "${FW_MINGW_DEPS_DIR}/lib/libboost_filesystem.a"
            "${FW_MINGW_DEPS_DIR}/lib/libtinyxml2.a"
            "${FW_MINGW_DEPS_DIR}/include/tinyxml2.h"
            "${FW_MINGW_DEPS_DIR}/boost-include/boost/filesystem.hpp"
            "${_fw_sysroot}/lib/libz.a"
            "${FW_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt")
        if(NOT EXISTS "${_fw_file}")
            string(APPEND _fw_missing "\n  ${_fw_file}")
        endif()
    endforeach()
    if(_fw_missing)
        message(FATAL_ERROR
            "MinGW dependencies for ${FW_MINGW_TRIPLET} are missing:${_fw_missing}\n"
            "Run tools/bootstrap.sh as root once; it installs the packages and "
            "builds the libraries into ${FW_DEPS_ROOT}.")
    endif()

    add_library(fw::boost_filesystem STATIC IMPORTED GLOBAL)
    set_target_properties(fw::boost_filesystem PROPERTIES
        IMPORTED_LOCATION "${FW_MINGW_DEPS_DIR}/lib/libboost_filesystem.a"
        # A folder holding only the boost link, so /usr/include itself never
        # reaches the MinGW compiler.
        INTERFACE_INCLUDE_DIRECTORIES "${FW_MINGW_DEPS_DIR}/boost-include"
        INTERFACE_COMPILE_DEFINITIONS "BOOST_FILESYSTEM_STATIC_LINK=1;${_fw_boost_definitions}"
        # unique_path uses BCryptGenRandom.
        INTERFACE_LINK_LIBRARIES "bcrypt")

    add_library(fw::tinyxml2 STATIC IMPORTED GLOBAL)
    set_target_properties(fw::tinyxml2 PROPERTIES
        IMPORTED_LOCATION "${FW_MINGW_DEPS_DIR}/lib/libtinyxml2.a"
        INTERFACE_INCLUDE_DIRECTORIES "${FW_MINGW_DEPS_DIR}/include")

    # zlib.h is in the compiler's own sysroot; adding that folder again as
    # -isystem would reorder the system headers and break libstdc++'s
    # #include_next.
    add_library(fw::zlib STATIC IMPORTED GLOBAL)
    set_target_properties(fw::zlib PROPERTIES
        IMPORTED_LOCATION "${_fw_sysroot}/lib/libz.a")

    unset(_fw_missing)
    unset(_fw_file)
    unset(_fw_sysroot)
else()
    find_package(Boost 1.74 REQUIRED COMPONENTS filesystem)
    add_library(fw::boost_filesystem INTERFACE IMPORTED GLOBAL)
    target_link_libraries(fw::boost_filesystem INTERFACE Boost::filesystem Boost::headers)
    target_compile_definitions(fw::boost_filesystem INTERFACE ${_fw_boost_definitions})

    # The fuzz build compiles the parser from Debian's source of the same release (tools/bootstrap.sh
    # fetches it for the MinGW builds), so that the fuzzer sees into it.
    file(GLOB _fw_tinyxml2_sources "${FW_DEPS_ROOT}/src/tinyxml2-*/tinyxml2.cpp")
    if(FW_FUZZ AND NOT _fw_tinyxml2_sources)
        message(WARNING "No tinyxml2 source under ${FW_DEPS_ROOT}/src (tools/bootstrap.sh fetches it); "
                        "the fuzz targets use Debian's library, without coverage of the parser.")
    endif()
    if(FW_FUZZ AND _fw_tinyxml2_sources)
        list(SORT _fw_tinyxml2_sources)
        list(GET _fw_tinyxml2_sources -1 _fw_tinyxml2_source)
        get_filename_component(_fw_tinyxml2_dir "${_fw_tinyxml2_source}" DIRECTORY)
        add_library(fw_tinyxml2 STATIC "${_fw_tinyxml2_source}")
        target_include_directories(fw_tinyxml2 SYSTEM PUBLIC "${_fw_tinyxml2_dir}")
        add_library(fw::tinyxml2 ALIAS fw_tinyxml2)
        unset(_fw_tinyxml2_source)
        unset(_fw_tinyxml2_dir)
    else()
        find_path(FW_TINYXML2_INCLUDE_DIR tinyxml2.h)
        find_library(FW_TINYXML2_LIBRARY tinyxml2)
        if(NOT FW_TINYXML2_INCLUDE_DIR OR NOT FW_TINYXML2_LIBRARY)
            message(FATAL_ERROR "tinyxml2 not found; run tools/bootstrap.sh as root once "
                                "(Debian package libtinyxml2-dev).")
        endif()
        add_library(fw::tinyxml2 UNKNOWN IMPORTED GLOBAL)
        set_target_properties(fw::tinyxml2 PROPERTIES
            IMPORTED_LOCATION "${FW_TINYXML2_LIBRARY}"
            INTERFACE_INCLUDE_DIRECTORIES "${FW_TINYXML2_INCLUDE_DIR}")
    endif()
    unset(_fw_tinyxml2_sources)

    find_package(ZLIB REQUIRED)
    add_library(fw::zlib INTERFACE IMPORTED GLOBAL)
    target_link_libraries(fw::zlib INTERFACE ZLIB::ZLIB)
endif()
unset(_fw_boost_definitions)

# --- GoogleTest --------------------------------------------------------------

# Built from source for every target, so the MinGW builds get a gtest compiled
# with the same compiler and thread model as the code under test.
function(_fw_add_googletest)
    if(NOT EXISTS "${FW_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt")
        message(FATAL_ERROR "GoogleTest sources not found in ${FW_GOOGLETEST_SOURCE_DIR}; "
                            "run tools/bootstrap.sh as root once (Debian package googletest).")
    endif()
    # Normal variables in this function's scope reach googletest's option()s.
    set(BUILD_GMOCK ON)
    set(INSTALL_GTEST OFF)
    set(BUILD_SHARED_LIBS OFF)
    add_subdirectory("${FW_GOOGLETEST_SOURCE_DIR}"
                     "${CMAKE_BINARY_DIR}/_deps/googletest" EXCLUDE_FROM_ALL)
endfunction()
_fw_add_googletest()

add_library(fw::gtest INTERFACE IMPORTED GLOBAL)
target_link_libraries(fw::gtest INTERFACE gmock gtest)
add_library(fw::gtest_main INTERFACE IMPORTED GLOBAL)
# gmock_main calls InitGoogleMock, which also takes GoogleTest's flags.
target_link_libraries(fw::gtest_main INTERFACE fw::gtest gmock_main)
if(MINGW)
    # Test programs run under Wine, which does not find the MinGW runtime DLLs.
    target_link_options(fw::gtest INTERFACE -static -static-libgcc -static-libstdc++)
endif()

# --- helpers -----------------------------------------------------------------

# Makes a MinGW executable self-contained: libgcc, libstdc++ and winpthread are
# linked in, so it imports only DLLs that every Windows has.
function(fw_windows_static_link target)
    if(MINGW)
        target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
    endif()
endfunction()

if(NOT CMAKE_CROSSCOMPILING OR CMAKE_CROSSCOMPILING_EMULATOR)
    set(FW_CAN_RUN_TESTS TRUE)
else()
    set(FW_CAN_RUN_TESTS FALSE)
endif()

include(GoogleTest)

# gtest_discover_tests where the test program can run; on win32 the program is
# only built. Extra arguments go to gtest_discover_tests (a later
# DISCOVERY_TIMEOUT wins). Listing the tests under Wine can take a while when
# the Wine prefix has to be created first, hence the long timeout.
function(fw_discover_tests target)
    if(FW_CAN_RUN_TESTS)
        gtest_discover_tests(${target} DISCOVERY_TIMEOUT 120 ${ARGN})
    endif()
endfunction()
