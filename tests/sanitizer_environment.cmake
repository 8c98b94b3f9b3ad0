# Read by CTest after the GoogleTest cases are discovered (tests/CMakeLists.txt adds it to the
# folder's TEST_INCLUDE_FILES): the host tests run under ASan, UBSan and LeakSanitizer, and any
# report fails the test. ASan and LSan end the program with an error code; UBSan stops at its
# first report (-fno-sanitize-recover=all, and halt_on_error for any check the flag misses).
# Static initialisation order is checked too: the loggers are built before wWinMain runs.
set(_fw_sanitizer_environment
    "ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1"
    "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1")
foreach(_fw_tests fw_portable_tests_TESTS fw_host_tests_TESTS)
    if(${_fw_tests})
        set_tests_properties(${${_fw_tests}} PROPERTIES ENVIRONMENT "${_fw_sanitizer_environment}")
    endif()
endforeach()
unset(_fw_sanitizer_environment)
