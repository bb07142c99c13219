# Benchmark of the sound preview: time from the click to the labels being set and to the first
# output callback that plays the sound, for a sound of about 100 KB on SDL's dummy output.
# Included by bench/CMakeLists.txt; prints the medians and fails when the labels take more than
# a second.
add_executable(bench_audio ${CMAKE_CURRENT_LIST_DIR}/bench_audio.cpp)
set_target_properties(bench_audio PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench-bin)
target_link_libraries(bench_audio PRIVATE tollvik::audio tollvik::testsupport tollvik::options
                                          Qt6::Core)
target_compile_definitions(bench_audio PRIVATE TOLLVIK_BASS_PATH="$<TARGET_FILE:bass>")
add_dependencies(bench_audio bass)
