# Our ".qmbackup" files against an independent reader and writer in Python (python3-cryptography).
find_program(QM_PYTHON3 NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
find_program(QM_PYTHON3 NAMES python3)
add_executable(backup_driver ${QM_PEERS_DIR}/backup_driver.cpp)
target_link_libraries(backup_driver PRIVATE qm_state)
qm_apply_options(backup_driver)
add_test(NAME ${QM_TEST_PREFIX}peer_backup
    COMMAND ${QM_PYTHON3} ${QM_PEERS_DIR}/qmbackup.py $<TARGET_FILE:backup_driver>)
set_tests_properties(${QM_TEST_PREFIX}peer_backup PROPERTIES TIMEOUT 120)
