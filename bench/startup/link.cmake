# The start-up bench hosts the window itself: it needs the views and the test fixtures.
target_link_libraries(bench_startup PRIVATE qm_ui qm_uiplugin qm_test_support Qt6::Widgets)
