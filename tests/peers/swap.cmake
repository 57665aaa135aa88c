# Uniswap V3 call data decoded by ethers 6's ABI coder; checked 256-bit arithmetic and minimum
# outputs against JavaScript's BigInt.
add_executable(swap_driver ${QM_PEERS_DIR}/swap_driver.cpp)
target_link_libraries(swap_driver PRIVATE qm_services)
target_include_directories(swap_driver PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
qm_apply_options(swap_driver)
add_test(NAME ${QM_TEST_PREFIX}peer_swap
    COMMAND ${QM_NODE} ${QM_PEERS_DIR}/swap_peer.mjs $<TARGET_FILE:swap_driver>)
set_tests_properties(${QM_TEST_PREFIX}peer_swap PROPERTIES TIMEOUT 120)
