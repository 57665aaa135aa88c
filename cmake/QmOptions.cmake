# Compiler settings shared by every target of ours.

# clang 14's function sanitizer cannot compile coroutines ("difference across sections").
set(QM_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize=function -fno-sanitize-recover=all
    -fno-omit-frame-pointer)

# qm_apply_options(target): warnings as errors, sanitizers and fuzzer instrumentation where asked.
function(qm_apply_options target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
    if(QM_SANITIZE)
        target_compile_options(${target} PRIVATE ${QM_SANITIZER_FLAGS})
        target_link_options(${target} PRIVATE ${QM_SANITIZER_FLAGS})
    endif()
    if(QM_FUZZ)
        target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
    endif()
endfunction()
