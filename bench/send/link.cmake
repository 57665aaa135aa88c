# The loopback Electrum server and the in-memory keychain of the tests stand in for the
# wallet's server and keychain.
target_link_libraries(bench_send PRIVATE qm_test_support)
