# Benchmark of the sound conversion: a 30-second 44.1 kHz stereo WAV made into a slot sound
# (22050 Hz mono, at most 131,056 bytes), timed next to one oggenc pass over the same file at the
# quality the conversion chose; and the median time to speak a menu text. Included by
# bench/CMakeLists.txt; prints the ratio and fails when it exceeds 3.
pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)
add_executable(bench_convert ${CMAKE_CURRENT_LIST_DIR}/bench_convert.cpp)
set_target_properties(bench_convert PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench-bin)
target_link_libraries(bench_convert PRIVATE tollvik::convert tollvik::archive tollvik::options
                                            PkgConfig::SNDFILE Qt6::Core)

# Peak memory and time of conversions of hostile sound files, each in a child process.
pkg_check_modules(OGG_ONLY REQUIRED IMPORTED_TARGET ogg)
add_executable(bench_hostile ${CMAKE_CURRENT_LIST_DIR}/bench_hostile.cpp)
set_target_properties(bench_hostile PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench-bin)
target_link_libraries(bench_hostile PRIVATE tollvik::convert tollvik::options PkgConfig::OGG_ONLY
                                            Qt6::Core)
