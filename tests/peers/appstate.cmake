# The application state's accounts across add, delete, lock and restart against @scure and @noble.
add_executable(appstate_driver ${QM_PEERS_DIR}/appstate_driver.cpp)
target_link_libraries(appstate_driver PRIVATE qm_test_support)
qm_apply_options(appstate_driver)
add_test(NAME ${QM_TEST_PREFIX}peer_appstate
    COMMAND ${QM_NODE} ${QM_PEERS_DIR}/appstate_peer.mjs $<TARGET_FILE:appstate_driver>)
# Its many seed openings keep a core busy (about 20 s of one under the sanitizers): on two cores
# shared by eight tests it took over two minutes.
set_tests_properties(${QM_TEST_PREFIX}peer_appstate PROPERTIES TIMEOUT 300)
