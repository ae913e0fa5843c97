# ACE: the decoder on the shared corpus, the front end through the real library, and the
# front end at the loader with stand-in libraries (or none) beside executables of their own.
set(UNACE_TESTDATA "${PROJECT_SOURCE_DIR}/../shared/testdata/ace")

turnex_test(unace_tests
  ${CMAKE_CURRENT_LIST_DIR}/UnaceDecoderTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UnaceFrontEndTest.cpp)
target_link_libraries(unace_tests PRIVATE unace_decoder)
target_compile_definitions(unace_tests PRIVATE ACE_TESTDATA_DIR="${UNACE_TESTDATA}")
# The program's loader looks beside the executable first: the real library goes there.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/tests/libunacev2.so
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:unacev2> ${CMAKE_BINARY_DIR}/tests/libunacev2.so
  DEPENDS unacev2 $<TARGET_FILE:unacev2>
  COMMENT "Putting libunacev2.so beside the ACE tests")
add_custom_target(unace_tests_library DEPENDS ${CMAKE_BINARY_DIR}/tests/libunacev2.so)
add_dependencies(unace_tests unacev2 unace_tests_library)

function(unace_loader_test name kind fake)
  set(dir ${CMAKE_BINARY_DIR}/tests/${name})
  turnex_test(${name} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/UnaceLoaderTest.cpp)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${dir})
  target_compile_definitions(${name} PRIVATE UNACE_LIBRARY_KIND=${kind})
  if(fake)
    add_library(${name}_lib SHARED ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/UnaceFakeLibrary.cpp)
    target_include_directories(${name}_lib PRIVATE ${PROJECT_SOURCE_DIR}/src)
    set_target_properties(${name}_lib PROPERTIES OUTPUT_NAME unacev2 LIBRARY_OUTPUT_DIRECTORY ${dir}
                                                 CXX_VISIBILITY_PRESET hidden)
    # Released after every extraction, so it must be unloadable.
    target_compile_options(${name}_lib PRIVATE $<$<CXX_COMPILER_ID:GNU>:-fno-gnu-unique>)
    if(fake STREQUAL "without_extract")
      target_compile_definitions(${name}_lib PRIVATE UNACE_FAKE_WITHOUT_EXTRACT)
    endif()
    add_dependencies(${name} ${name}_lib)
  endif()
endfunction()
unace_loader_test(unace_nolib_tests 0 "")
unace_loader_test(unace_fake_tests 1 "all")
unace_loader_test(unace_nofunc_tests 2 "without_extract")
