# The zip component, its library interface and the two zip libraries.
turnex_test(zip_tests
  ${CMAKE_CURRENT_LIST_DIR}/ZipDirTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZipRecordsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZipCallTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZipLibTest.cpp
)

# Stand-in libraries of older versions, one folder each (the component finds them through
# DLLDirectory).
set(ZIP_FAKE_DIR ${CMAKE_BINARY_DIR}/tests/zipfakes)
foreach(kind_version zip:150 zip:151 unzip:151 unzip:152 unzip:160)
  string(REPLACE ":" ";" kv ${kind_version})
  list(GET kv 0 kind)
  list(GET kv 1 version)
  string(TOUPPER ${kind} KIND)
  set(target zipfake_${kind}${version})
  add_library(${target} SHARED ${CMAKE_CURRENT_LIST_DIR}/ZipFakeLib.cpp)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_compile_definitions(${target} PRIVATE FAKE_${KIND} FAKE_VERSION=${version})
  if(kind STREQUAL "zip")
    set(out ziplib)
  else()
    set(out unzlib)
  endif()
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${out}
    LIBRARY_OUTPUT_DIRECTORY ${ZIP_FAKE_DIR}/${kind}${version}
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -fno-gnu-unique)  # a released library must unload
  endif()
  add_dependencies(zip_tests ${target})
endforeach()
if(TARGET ziplib)
  add_dependencies(zip_tests ziplib)
endif()
if(TARGET unzlib)
  add_dependencies(zip_tests unzlib)
endif()

target_compile_definitions(zip_tests PRIVATE
  ZIP_TESTDATA="${PROJECT_SOURCE_DIR}/../shared/testdata/zip"
  ZIP_FAKE_DIR="${ZIP_FAKE_DIR}"
  ZIP_LIB_DIR="${TURNEX_BIN_DIR}")
