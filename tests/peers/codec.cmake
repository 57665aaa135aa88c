# Our Base58, segwit address and BIP-39 code against @scure/base and @scure/bip39.
add_executable(codec_driver ${QM_PEERS_DIR}/codec_driver.cpp)
target_link_libraries(codec_driver PRIVATE qm_state)
target_include_directories(codec_driver PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
qm_apply_options(codec_driver)
add_test(NAME ${QM_TEST_PREFIX}peer_codec
    COMMAND ${QM_NODE} ${QM_PEERS_DIR}/codec_peer.mjs $<TARGET_FILE:codec_driver>)
set_tests_properties(${QM_TEST_PREFIX}peer_codec PROPERTIES TIMEOUT 120)
