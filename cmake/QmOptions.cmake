# Compiler settings shared by every target of ours.

include(${CMAKE_CURRENT_LIST_DIR}/QmPrecompiledHeaders.cmake)

if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    # clang 14's function sanitizer cannot compile coroutines ("difference across sections").
    set(QM_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize=function
        -fno-sanitize-recover=all -fno-omit-frame-pointer)
else()
    # gcc's tree runs the Qt Quick and QTest code too, whose headers trip UBSan (qApp
    # downcasts, null QPrivateSignal references); the clang tree checks our lower layers for
    # undefined behaviour, this one our coroutines as gcc compiles them for memory errors.
    set(QM_SANITIZER_FLAGS -fsanitize=address -fno-omit-frame-pointer)
endif()

# Warnings are errors where we choose the compiler (scripts/test, CI); a packager's build with
# another compiler or optimisation level must not fail on that compiler's false positives
# (gcc 12 at -O3 warns -Wrestrict inside libstdc++'s own string code).
option(QM_WERROR "Treat compiler warnings as errors" OFF)

# qm_apply_options(target): warnings (as errors with QM_WERROR), sanitizers and fuzzer
# instrumentation where asked.
function(qm_apply_options target)
    qm_register_target(${target})
    # Test code: what tests/ builds, apart from the fuzz targets.
    get_target_property(dir ${target} SOURCE_DIR)
    string(FIND "${dir}/" "${PROJECT_SOURCE_DIR}/tests/" under_tests)
    if(under_tests EQUAL 0 AND NOT target MATCHES "_fuzz$")
        set(test_code TRUE)
    else()
        set(test_code FALSE)
    endif()
    get_target_property(type ${target} TYPE)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(QM_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
    if(QM_SANITIZE)
        # Line tables are all the sanitizers' reports need; full debug info made each test
        # tree about 5 GB and its many executables slow to link.
        # -O1, as AddressSanitizer's authors advise: a sanitized tree is for running the tests,
        # and -O2 made compiling it a third slower for little gain in the tests' own time.
        # A test program's own files (the cases, the peers' drivers) at -O0: the code they test
        # and the fixtures they run on stay at -O1, the sanitizers check every access all the
        # same, and the optimiser took half of such a file's compile time.
        if(test_code AND type STREQUAL "EXECUTABLE")
            set(level -O0)
        else()
            set(level -O1)
        endif()
        target_compile_options(${target} PRIVATE ${QM_SANITIZER_FLAGS} -g1 ${level})
        target_link_options(${target} PRIVATE ${QM_SANITIZER_FLAGS})
        if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
            # gcc 12 warns falsely about the standard library's own code under ASan.
            target_compile_options(${target} PRIVATE -Wno-maybe-uninitialized)
        endif()
    endif()
    # Coverage for libFuzzer where it guides the fuzz targets: the code they reach, not the tests.
    if(QM_FUZZ AND NOT test_code)
        target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
    endif()
endfunction()
