# The RAR library: open, header walk and extraction into a scratch folder, on any bytes.
find_package(PkgConfig REQUIRED)
pkg_check_modules(FUZZ_UNARR REQUIRED IMPORTED_TARGET libunarr)
pkg_check_modules(FUZZ_LIBB2 REQUIRED IMPORTED_TARGET libb2)
find_package(LibArchive REQUIRED)
find_package(ZLIB REQUIRED)
set(UNRAR_LIB ${CMAKE_CURRENT_SOURCE_DIR}/../libs/unrar)
turnex_fuzzer(fuzz_unrar)
target_sources(fuzz_unrar PRIVATE
  ${UNRAR_LIB}/unrar.cpp
  ${UNRAR_LIB}/RarFormat.cpp
  ${UNRAR_LIB}/RarDecoders.cpp
  ${UNRAR_LIB}/Blake2sp.cpp
  ${UNRAR_LIB}/MemberOutput.cpp)
target_include_directories(fuzz_unrar PRIVATE ${UNRAR_LIB})
target_link_libraries(fuzz_unrar PRIVATE PkgConfig::FUZZ_UNARR PkgConfig::FUZZ_LIBB2 LibArchive::LibArchive ZLIB::ZLIB)
