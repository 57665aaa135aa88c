# The application state's accounts (derivation, added and deleted Bitcoin addresses across
# lock, unlock and restart, the private key of each) against @scure/bip39, @scure/bip32,
# @scure/base, @noble/hashes and @noble/curves, through a driver that answers on stdin.
add_executable(appstate_driver ${QM_PEERS_DIR}/appstate_driver.cpp)
target_link_libraries(appstate_driver PRIVATE qm_state)
qm_apply_options(appstate_driver)
add_test(NAME ${QM_TEST_PREFIX}peer_appstate
    COMMAND ${QM_NODE} ${QM_PEERS_DIR}/appstate_peer.mjs $<TARGET_FILE:appstate_driver>)
set_tests_properties(${QM_TEST_PREFIX}peer_appstate PROPERTIES TIMEOUT 120)
