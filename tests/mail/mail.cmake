# Mail dispatch: the front end and libmapi32.so in front of stand-in mail programs on the PATH.
turnex_test(mail_tests
  ${CMAKE_CURRENT_LIST_DIR}/MailTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Mapi32Test.cpp)
# The installation check runs once per process, so its test is a program of its own.
turnex_test(mail_once_tests ${CMAKE_CURRENT_LIST_DIR}/MailOnceTest.cpp)
foreach(target mail_tests mail_once_tests)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/libs/mapi32)
endforeach()

# The program's loader looks beside the executable first: the real library goes there.
if(TARGET mapi32)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/tests/libmapi32.so
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:mapi32> ${CMAKE_BINARY_DIR}/tests/libmapi32.so
    DEPENDS mapi32 $<TARGET_FILE:mapi32>
    COMMENT "Putting libmapi32.so beside the mail tests")
  add_custom_target(mail_tests_library DEPENDS ${CMAKE_BINARY_DIR}/tests/libmapi32.so)
  add_dependencies(mail_tests mapi32 mail_tests_library)
  add_dependencies(mail_once_tests mapi32 mail_tests_library)
endif()
