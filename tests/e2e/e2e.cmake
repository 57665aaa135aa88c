# The built program driven as a user drives it: its own X server, D-Bus session and keyring,
# real input. Exit status 77 (nothing could run here: a tool is missing) counts as skipped.
# The AT-SPI client comes from Debian's python3-gi, so the system's Python runs it.
find_program(QM_SYSTEM_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT QM_SYSTEM_PYTHON)
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    set(QM_SYSTEM_PYTHON ${Python3_EXECUTABLE})
endif()
# One test per scenario, read from the script's own list, so that they run side by side (each
# has its own display, bus, keyring, home folder and network namespace).
set(e2e_script ${CMAKE_CURRENT_LIST_DIR}/quillmark_e2e.py)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${e2e_script})
# The list may go on over lines of its own ("SCENARIOS += [...]").
file(STRINGS ${e2e_script} e2e_list REGEX "^SCENARIOS \\+?= \\[")
string(REGEX MATCHALL "\"[a-z0-9_]+\"" e2e_scenarios "${e2e_list}")
if(NOT e2e_scenarios)
    message(FATAL_ERROR "No SCENARIOS list found in ${e2e_script}")
endif()
foreach(quoted ${e2e_scenarios})
    string(REPLACE "\"" "" scenario ${quoted})
    add_test(NAME ${QM_TEST_PREFIX}e2e_quillmark.${scenario}
        COMMAND ${QM_SYSTEM_PYTHON} ${e2e_script} $<TARGET_FILE:quillmark> ${scenario})
    set_tests_properties(${QM_TEST_PREFIX}e2e_quillmark.${scenario} PROPERTIES
        LABELS e2e
        SKIP_RETURN_CODE 77
        TIMEOUT 600)
endforeach()
