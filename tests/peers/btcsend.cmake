# The Bitcoin send over a loopback Electrum server, its transactions checked by bitcoinjs-lib 7.
add_executable(btcsend_driver ${QM_PEERS_DIR}/btcsend_driver.cpp)
target_link_libraries(btcsend_driver PRIVATE qm_test_support qm_ui)
qm_apply_options(btcsend_driver)
add_test(NAME ${QM_TEST_PREFIX}peer_btcsend
    COMMAND ${QM_NODE} ${QM_PEERS_DIR}/btcsend_peer.mjs $<TARGET_FILE:btcsend_driver>)
set_tests_properties(${QM_TEST_PREFIX}peer_btcsend PROPERTIES TIMEOUT 400
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
