# ACE decoding speed, and extraction beside Debian's unace (package unace).
if(TARGET unace_decoder)
  add_executable(bench_unace ${CMAKE_CURRENT_LIST_DIR}/UnaceBench.cpp)
  target_link_libraries(bench_unace PRIVATE unace_decoder)
  target_compile_definitions(bench_unace PRIVATE ACE_TESTDATA_DIR="${PROJECT_SOURCE_DIR}/../shared/testdata/ace")
  set_target_properties(bench_unace PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
