# ACE extraction front end: loads libunacev2.so for each extraction.
target_sources(turnex_archive PRIVATE ${CMAKE_CURRENT_LIST_DIR}/unaceh.cpp)
