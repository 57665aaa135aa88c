# Our WalletConnect envelopes, keys, topics, relay token and pairing-URI parser against
# @walletconnect/utils, relay-auth and core; our relay client as the wallet of a session that
# @walletconnect/sign-client proposes through the loopback relay (relay_fixture.mjs).
add_executable(walletconnect_driver ${QM_PEERS_DIR}/walletconnect_driver.cpp)
target_link_libraries(walletconnect_driver PRIVATE qm_state)
target_include_directories(walletconnect_driver PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
qm_apply_options(walletconnect_driver)
add_test(NAME ${QM_TEST_PREFIX}peer_walletconnect
    COMMAND ${QM_NODE} ${QM_PEERS_DIR}/walletconnect_peer.mjs $<TARGET_FILE:walletconnect_driver>)
set_tests_properties(${QM_TEST_PREFIX}peer_walletconnect PROPERTIES TIMEOUT 180)
