# The whole ACE extraction path (headers, decoder, names, files) on arbitrary bytes.
find_package(ZLIB REQUIRED)
turnex_fuzzer(fuzz_unace)
set(UNACE_DIR ${CMAKE_CURRENT_SOURCE_DIR}/../libs/unace)
target_sources(fuzz_unace PRIVATE ${UNACE_DIR}/AceArchive.cpp ${UNACE_DIR}/AceDecoder.cpp ${UNACE_DIR}/AceExtractor.cpp)
target_include_directories(fuzz_unace PRIVATE ${UNACE_DIR})
target_link_libraries(fuzz_unace PRIVATE ZLIB::ZLIB)
