# Where to find the reference script and the Node packages it loads.
target_compile_definitions(bench_walletconnect PRIVATE QM_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
