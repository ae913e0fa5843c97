# RAR extraction through libunrar.so against bsdtar and unar, on the same archives in the same run.
add_executable(bench_unrar ${CMAKE_CURRENT_LIST_DIR}/UnRarBench.cpp)
target_link_libraries(bench_unrar PRIVATE unrar)
find_package(ZLIB REQUIRED)
target_link_libraries(bench_unrar PRIVATE ZLIB::ZLIB)
target_compile_definitions(bench_unrar PRIVATE TURNEX_RAR_TESTDATA="${PROJECT_SOURCE_DIR}/../shared/testdata/rar")
set_target_properties(bench_unrar PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
target_include_directories(bench_unrar PRIVATE ${PROJECT_SOURCE_DIR}/tests)
