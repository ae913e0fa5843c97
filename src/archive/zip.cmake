# The zip component and its library interface.
target_sources(turnex_archive PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ZipComp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZipCall.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZIPLIB.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UNZLIB.cpp
)
