quillon_add_bench(bench_jpeg ${CMAKE_CURRENT_SOURCE_DIR}/bench_jpeg.cpp)

# The JPEG stage's size, fidelity and time beside jpegtran and jpegoptim (bench/jpeg-quality.sh
# runs it); libjpeg-turbo judges the pixels through the tests' reference decoder.
find_package(JPEG REQUIRED)
add_executable(jpeg_quality ${CMAKE_CURRENT_SOURCE_DIR}/jpeg_quality.cpp
               ${CMAKE_SOURCE_DIR}/tests/imageopt/ReferenceDecoder.cpp)
target_include_directories(jpeg_quality PRIVATE ${CMAKE_SOURCE_DIR}/tests/imageopt)
target_link_libraries(jpeg_quality PRIVATE quillon_core JPEG::JPEG)
