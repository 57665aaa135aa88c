# The account screen's QML and the test fixtures' state.
target_link_libraries(bench_history PRIVATE qm_ui qm_uiplugin qm_test_support Qt6::Quick)
