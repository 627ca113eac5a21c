quillon_add_bench(bench_textopt ${CMAKE_CURRENT_SOURCE_DIR}/bench_textopt.cpp)
