#pragma once
// The decoders' libraries open on first use (DeferredLibraries.cpp).
namespace rar {

// Opens them now; false when one of them cannot be opened, so no archive can be decoded.
bool DecoderLibrariesAvailable();

}  // namespace rar
