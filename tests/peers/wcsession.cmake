# The wallet's WalletConnect sessions (the application state's service, its signer, anvil on
# three chains) against the real dApp client @walletconnect/sign-client over the loopback relay.
add_executable(wcsession_driver ${QM_PEERS_DIR}/wcsession_driver.cpp)
target_link_libraries(wcsession_driver PRIVATE qm_test_support)
qm_apply_options(wcsession_driver)
add_test(NAME ${QM_TEST_PREFIX}peer_wcsession
    COMMAND ${QM_NODE} ${QM_PEERS_DIR}/wcsession_peer.mjs $<TARGET_FILE:wcsession_driver>)
set_tests_properties(${QM_TEST_PREFIX}peer_wcsession PROPERTIES TIMEOUT 300)
