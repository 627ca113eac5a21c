quillon_add_bench(bench_jpeg ${CMAKE_CURRENT_SOURCE_DIR}/bench_jpeg.cpp)
