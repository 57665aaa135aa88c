include(${CMAKE_CURRENT_LIST_DIR}/../WindowBench.cmake)
qm_window_bench(bench_portfolio)
