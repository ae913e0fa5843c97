add_executable(bench_battle_list ${CMAKE_CURRENT_LIST_DIR}/BattleListBench.cpp)
target_link_libraries(bench_battle_list PRIVATE turnex_ui)
target_include_directories(bench_battle_list PRIVATE ${PROJECT_SOURCE_DIR}/tests)
set_target_properties(bench_battle_list PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
