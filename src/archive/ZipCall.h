#pragma once
// What the zip component and its two library units share: the process-wide library slots, the
// text copies handed across the boundary, and the callback entry the libraries call.
#include "base/DynLib.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One run-time library: its module and its two entry points (one set for the whole process).
struct ZipLibSlot {
    const char* dllName;
    const char* execName;
    const char* versionName;
    int firstIdent;  // 10601 or 10701: loaded, exec missing, version missing, cannot load
    base::LibHandle handle = nullptr;
    void* exec = nullptr;
    void* version = nullptr;
};

ZipLibSlot& ZipLibrary();
ZipLibSlot& UnzLibrary();

// Zero-terminated copies for one library call, freed together when the call is over.
class TextCopies {
public:
    const char* Copy(const std::string& text);
    void Clear() { texts_.clear(); }

private:
    std::vector<std::unique_ptr<char[]>> texts_;
};

// The address given to the libraries as ZipCallback: finds the component by the caller field.
int32_t ZipCallbackEntry(uint8_t* record);
