# Our EIP-1559 transactions, personal messages and EIP-712 against ethers 6 and eth-sig-util.
add_executable(evm_driver ${QM_PEERS_DIR}/evm_driver.cpp)
target_link_libraries(evm_driver PRIVATE qm_state)
target_include_directories(evm_driver PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
qm_apply_options(evm_driver)
add_test(NAME ${QM_TEST_PREFIX}peer_evm
    COMMAND ${QM_NODE} ${QM_PEERS_DIR}/evm_peer.mjs $<TARGET_FILE:evm_driver>)
set_tests_properties(${QM_TEST_PREFIX}peer_evm PROPERTIES TIMEOUT 120)
