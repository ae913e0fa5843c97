# RAR extraction: the front end, bound to libunrar.so at build time.
target_sources(turnex_archive PRIVATE ${CMAKE_CURRENT_LIST_DIR}/UnRAR.cpp)
target_link_libraries(turnex_archive PUBLIC unrar)
