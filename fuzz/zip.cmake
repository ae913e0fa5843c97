# The zip component's directory reader, and the unzip library over any archive.
set(ZIP_SRC ${CMAKE_CURRENT_SOURCE_DIR}/../src/archive)
turnex_fuzzer(fuzz_zipdir)
target_sources(fuzz_zipdir PRIVATE ${ZIP_SRC}/ZipComponent.cpp ${SRC}/base/Desktop.cpp)

find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
find_package(ZLIB REQUIRED)
turnex_fuzzer(fuzz_unzlib)
target_sources(fuzz_unzlib PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/../libs/unzlib/UnzLib.cpp)
target_link_libraries(fuzz_unzlib PRIVATE PkgConfig::LIBZIP ZLIB::ZLIB)
