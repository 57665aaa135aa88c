# Our Bitcoin signer and output parser against bitcoinjs-lib 7.
add_executable(btc_driver ${QM_PEERS_DIR}/btc_driver.cpp)
target_link_libraries(btc_driver PRIVATE qm_state)
target_include_directories(btc_driver PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
qm_apply_options(btc_driver)
add_test(NAME ${QM_TEST_PREFIX}peer_btc
    COMMAND ${QM_NODE} ${QM_PEERS_DIR}/btc_peer.mjs $<TARGET_FILE:btc_driver>)
set_tests_properties(${QM_TEST_PREFIX}peer_btc PROPERTIES TIMEOUT 120)
