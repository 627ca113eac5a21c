# GIF codec throughput, side by side with giflib (linked here only, as the yardstick).
find_package(GIF REQUIRED)
quillon_add_bench(bench_gif ${CMAKE_CURRENT_SOURCE_DIR}/bench_gif.cpp)
target_link_libraries(bench_gif PRIVATE GIF::GIF)
