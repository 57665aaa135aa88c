# Our seeds, account addresses and signatures for random phrases against @scure and @noble.
add_executable(keys_driver ${QM_PEERS_DIR}/keys_driver.cpp)
target_link_libraries(keys_driver PRIVATE qm_state)
target_include_directories(keys_driver PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
qm_apply_options(keys_driver)
add_test(NAME ${QM_TEST_PREFIX}peer_keys
    COMMAND ${QM_NODE} ${QM_PEERS_DIR}/keys_peer.mjs $<TARGET_FILE:keys_driver>)
set_tests_properties(${QM_TEST_PREFIX}peer_keys PROPERTIES TIMEOUT 120)
