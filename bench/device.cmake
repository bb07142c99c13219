# Benchmark of the device write: device put of a 5 MB archive onto a FAT image (mounted through
# fusefat) timed next to cp and sync of the same file, and the search of a 2,000-file device
# tree. Included by bench/CMakeLists.txt; prints the ratio and fails when it exceeds 1.5. The FAT
# image and the archive come from the test support libraries, so the tests must be built too.
if(TARGET tollvik_fatimage AND TARGET tollvik_chkfactory)
    add_executable(bench_device ${CMAKE_CURRENT_LIST_DIR}/bench_device.cpp)
    set_target_properties(bench_device PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench-bin)
    target_link_libraries(bench_device PRIVATE tollvik::device tollvik::core tollvik_fatimage
                                               tollvik_chkfactory tollvik::options Qt6::Core)
    target_compile_definitions(bench_device PRIVATE
        TOLLVIK_CLI="$<TARGET_FILE:tollvik-alerts-cli>")
    add_dependencies(bench_device tollvik-alerts-cli)
endif()
