quillon_add_bench(bench_pagechain ${CMAKE_CURRENT_SOURCE_DIR}/bench_pagechain.cpp)
quillon_add_bench(bench_run ${CMAKE_CURRENT_SOURCE_DIR}/bench_run.cpp)
