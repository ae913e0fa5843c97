# Mail dispatch: the front end of the simple mail library (libmapi32.so, loaded at run time).
target_sources(turnex_archive PRIVATE ${CMAKE_CURRENT_LIST_DIR}/Mail.cpp)
target_include_directories(turnex_archive PRIVATE ${PROJECT_SOURCE_DIR}/libs/mapi32)
