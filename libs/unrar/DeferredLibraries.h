#pragma once
// The decoders' libraries open on first use (DeferredLibraries.cpp).
namespace rar {

enum class DecoderLibrary { Libarchive, Libunarr, Libb2 };

// Opens the library now if it is not open yet; its file name when it cannot be opened (a broken
// installation), null when it is there.
const char* MissingLibrary(DecoderLibrary library);

// Whether libarchive is open already (nothing is opened to find out).
bool LibarchiveIsOpen();

}  // namespace rar
