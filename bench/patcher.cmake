# Benchmark of the navigator save: a save of a 2.5 MB navigator file timed next to a plain copy
# of the same file. Included by bench/CMakeLists.txt; prints the ratio and fails when it
# exceeds 3.
add_executable(bench_patcher ${CMAKE_CURRENT_LIST_DIR}/bench_patcher.cpp)
set_target_properties(bench_patcher PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench-bin)
target_link_libraries(bench_patcher PRIVATE tollvik::patcher tollvik::settings tollvik::core tollvik::options Qt6::Core)
