# The GIF stage's size and fidelity report beside gifsicle (bench/gif-quality.sh runs it). giflib
# decodes both results; the test sources supply its wrapper and the compositing.
find_package(GIF REQUIRED)
add_executable(gif_quality ${CMAKE_CURRENT_SOURCE_DIR}/gif_quality.cpp
               ${CMAKE_SOURCE_DIR}/tests/BxCode/GifReference.cpp
               ${CMAKE_SOURCE_DIR}/tests/BxCode/GifComposite.cpp)
target_include_directories(gif_quality PRIVATE ${CMAKE_SOURCE_DIR}/tests/BxCode)
target_link_libraries(gif_quality PRIVATE quillon_core GIF::GIF)
