# The loopback server of the tests stands in for the chain's node.
target_link_libraries(bench_swapquote PRIVATE qm_test_support)
