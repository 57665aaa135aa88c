# The loopback servers of the tests stand in for the chains' servers.
target_link_libraries(bench_refresh PRIVATE qm_test_support)
