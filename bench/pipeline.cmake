quillon_add_bench(bench_pagechain ${CMAKE_CURRENT_SOURCE_DIR}/bench_pagechain.cpp)
quillon_add_bench(bench_run ${CMAKE_CURRENT_SOURCE_DIR}/bench_run.cpp)
# The tests' settings store held in memory (a header of its own).
target_include_directories(bench_run PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
