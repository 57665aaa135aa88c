# The built program driven as a user drives it: its own X server, D-Bus session and keyring,
# real input. Exit status 77 (nothing could run here: a tool is missing) counts as skipped.
# The AT-SPI client comes from Debian's python3-gi, so the system's Python runs it.
find_program(QM_SYSTEM_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT QM_SYSTEM_PYTHON)
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    set(QM_SYSTEM_PYTHON ${Python3_EXECUTABLE})
endif()
add_test(NAME ${QM_TEST_PREFIX}e2e_quillmark
    COMMAND ${QM_SYSTEM_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/quillmark_e2e.py $<TARGET_FILE:quillmark>)
set_tests_properties(${QM_TEST_PREFIX}e2e_quillmark PROPERTIES
    LABELS e2e
    SKIP_RETURN_CODE 77
    TIMEOUT 900)
