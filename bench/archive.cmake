# Benchmark of the sound-archive builder: a custom build of a 200-entry archive of about 5 MB
# with 30 external sounds, timed next to a plain copy of the same archive. Included by
# bench/CMakeLists.txt; prints the ratio and fails when it exceeds 3.
add_executable(bench_archive ${CMAKE_CURRENT_LIST_DIR}/bench_archive.cpp)
set_target_properties(bench_archive PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench-bin)
target_link_libraries(bench_archive PRIVATE tollvik::archive tollvik::core tollvik::options Qt6::Core)
