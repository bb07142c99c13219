# Benchmarks of the program's start-up time and peak memory, each against a bare Qt window of
# the same size: bench_startup launches bench_bare_window and bench_startup_app (the program's
# own start-up with a probe at the first painted frame) over and over. Included by
# bench/CMakeLists.txt; prints the ratio or the difference and fails when it exceeds the target.
add_executable(bench_bare_window ${CMAKE_CURRENT_LIST_DIR}/bench_bare_window.cpp)
set_target_properties(bench_bare_window PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench-bin)
target_link_libraries(bench_bare_window PRIVATE tollvik::options Qt6::Widgets)

add_executable(bench_startup_app ${CMAKE_CURRENT_LIST_DIR}/bench_startup_app.cpp)
set_target_properties(bench_startup_app PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench-bin)
target_link_libraries(bench_startup_app PRIVATE tollvik::app tollvik::dialogs tollvik::options)

add_executable(bench_startup ${CMAKE_CURRENT_LIST_DIR}/bench_startup.cpp
                             ${PROJECT_SOURCE_DIR}/tests/archive/chkfactory.cpp)
set_target_properties(bench_startup PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench-bin)
target_include_directories(bench_startup PRIVATE ${PROJECT_SOURCE_DIR}/tests/archive)
target_link_libraries(bench_startup PRIVATE tollvik::testsupport tollvik::options Qt6::Core)
target_compile_definitions(bench_startup PRIVATE
    TOLLVIK_APP_CHILD="$<TARGET_FILE:bench_startup_app>"
    TOLLVIK_BARE_CHILD="$<TARGET_FILE:bench_bare_window>"
    TOLLVIK_BASS_PATH="$<TARGET_FILE:bass>")
add_dependencies(bench_startup bench_startup_app bench_bare_window bass)
