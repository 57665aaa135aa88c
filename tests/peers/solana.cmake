# Our Solana transfer against @solana/web3.js, and our client against litesvm (solana_rpc_server.mjs).
add_executable(solana_driver ${QM_PEERS_DIR}/solana_driver.cpp)
target_link_libraries(solana_driver PRIVATE qm_state)
target_include_directories(solana_driver PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
qm_apply_options(solana_driver)
add_test(NAME ${QM_TEST_PREFIX}peer_solana
    COMMAND ${QM_NODE} ${QM_PEERS_DIR}/solana_peer.mjs $<TARGET_FILE:solana_driver>)
set_tests_properties(${QM_TEST_PREFIX}peer_solana PROPERTIES TIMEOUT 120)
