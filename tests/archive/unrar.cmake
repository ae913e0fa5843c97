# RAR extraction: the library and the front end on the shared RAR corpus, and the front end
# against a scripted stand-in of the library for the codes no real archive produces.
find_package(ZLIB REQUIRED)
set(TURNEX_RAR_TESTDATA "${PROJECT_SOURCE_DIR}/../shared/testdata/rar")

turnex_test(unrar_tests
  archive/UnRarLibraryTest.cpp
  archive/UnRarFrontEndTest.cpp)
target_compile_definitions(unrar_tests PRIVATE TURNEX_RAR_TESTDATA="${TURNEX_RAR_TESTDATA}")
target_link_libraries(unrar_tests PRIVATE ZLIB::ZLIB)

# The stand-in exports the library's C interface; the front end is built once more into a test
# program bound to it instead of libunrar.so.
add_library(unrar_fake SHARED archive/UnRarFakeLibraryTest.cpp)
target_include_directories(unrar_fake PRIVATE ${PROJECT_SOURCE_DIR}/libs/unrar)
set_target_properties(unrar_fake PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

add_executable(unrar_fake_tests
  archive/UnRarFakeTest.cpp
  ${PROJECT_SOURCE_DIR}/src/archive/UnRAR.cpp
  ${PROJECT_SOURCE_DIR}/src/archive/ArchiveCommon.cpp)
target_include_directories(unrar_fake_tests PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/libs/unrar
  ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(unrar_fake_tests PRIVATE unrar_fake turnex_platform GTest::gtest_main)
set_target_properties(unrar_fake_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
gtest_discover_tests(unrar_fake_tests DISCOVERY_TIMEOUT 30)
