// The decoders' libraries (libarchive, libunarr, libb2) are opened when a member first needs them,
// not when the program starts nor when an archive is opened: the program binds this library at
// start, and those three with what they pull in (libxml2, libgomp, compression libraries) cost
// milliseconds, also for a player who never receives a RAR, and an archive seldom needs all three
// (RAR5 never reads through libunarr, RAR 1.5-4 never hashes with BLAKE2, stored data needs none).
// Each function below stands in for the library's own, under the same name, and forwards to it
// once the library is open; the version script keeps them inside.
#include "DeferredLibraries.h"

#include <archive.h>
#include <archive_entry.h>
#include <blake2.h>
#include <unarr.h>

#include <atomic>
#include <dlfcn.h>

namespace {

// Set once a library was opened: whether a decoder is already at hand decides between the two.
std::atomic<bool> libarchiveOpen {false};

void* Open(const char* soname, std::atomic<bool>* opened = nullptr)
{
    void* handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (handle && opened)
        opened->store(true);
    return handle;
}

void* Libarchive()
{
    static void* const handle = Open(TURNEX_LIBARCHIVE_SONAME, &libarchiveOpen);
    return handle;
}

void* Libunarr()
{
    static void* const handle = Open(TURNEX_LIBUNARR_SONAME);
    return handle;
}

void* Libb2()
{
    static void* const handle = Open(TURNEX_LIBB2_SONAME);
    return handle;
}

template <typename Function>
Function Find(void* library, const char* name)
{
    return library ? reinterpret_cast<Function>(dlsym(library, name)) : nullptr;
}

}  // namespace

// The real function of the library, or null when the library or the name cannot be found.
#define REAL(library, name) static const auto real = Find<decltype(&::name)>(library(), #name)

bool rar::LibarchiveIsOpen() { return libarchiveOpen.load(); }

const char* rar::MissingLibrary(DecoderLibrary library)
{
    switch (library) {
    case DecoderLibrary::Libarchive: return Libarchive() ? nullptr : TURNEX_LIBARCHIVE_SONAME;
    case DecoderLibrary::Libunarr: return Libunarr() ? nullptr : TURNEX_LIBUNARR_SONAME;
    case DecoderLibrary::Libb2: return Libb2() ? nullptr : TURNEX_LIBB2_SONAME;
    }
    return nullptr;
}

extern "C" {

ar_stream* ar_open_file(const char* path)
{
    REAL(Libunarr, ar_open_file);
    return real ? real(path) : nullptr;
}

ar_stream* ar_open_memory(const void* data, size_t size)
{
    REAL(Libunarr, ar_open_memory);
    return real ? real(data, size) : nullptr;
}

void ar_close(ar_stream* stream)
{
    REAL(Libunarr, ar_close);
    if (real)
        real(stream);
}

ar_archive* ar_open_rar_archive(ar_stream* stream)
{
    REAL(Libunarr, ar_open_rar_archive);
    return real ? real(stream) : nullptr;
}

void ar_close_archive(ar_archive* archive)
{
    REAL(Libunarr, ar_close_archive);
    if (real)
        real(archive);
}

bool ar_parse_entry(ar_archive* archive)
{
    REAL(Libunarr, ar_parse_entry);
    return real && real(archive);
}

off64_t ar_entry_get_offset(ar_archive* archive)
{
    REAL(Libunarr, ar_entry_get_offset);
    return real ? real(archive) : 0;
}

size_t ar_entry_get_size(ar_archive* archive)
{
    REAL(Libunarr, ar_entry_get_size);
    return real ? real(archive) : 0;
}

bool ar_entry_uncompress(ar_archive* archive, void* buffer, size_t count)
{
    REAL(Libunarr, ar_entry_uncompress);
    return real && real(archive, buffer, count);
}

struct archive* archive_read_new(void)
{
    REAL(Libarchive, archive_read_new);
    return real ? real() : nullptr;
}

int archive_read_support_format_rar(struct archive* archive)
{
    REAL(Libarchive, archive_read_support_format_rar);
    return real ? real(archive) : ARCHIVE_FATAL;
}

int archive_read_support_format_rar5(struct archive* archive)
{
    REAL(Libarchive, archive_read_support_format_rar5);
    return real ? real(archive) : ARCHIVE_FATAL;
}

int archive_read_open_memory(struct archive* archive, const void* data, size_t size)
{
    REAL(Libarchive, archive_read_open_memory);
    return real ? real(archive, data, size) : ARCHIVE_FATAL;
}

int archive_read_open_filename(struct archive* archive, const char* path, size_t blockSize)
{
    REAL(Libarchive, archive_read_open_filename);
    return real ? real(archive, path, blockSize) : ARCHIVE_FATAL;
}

int archive_read_next_header(struct archive* archive, struct archive_entry** entry)
{
    REAL(Libarchive, archive_read_next_header);
    return real ? real(archive, entry) : ARCHIVE_FATAL;
}

la_ssize_t archive_read_data(struct archive* archive, void* buffer, size_t size)
{
    REAL(Libarchive, archive_read_data);
    return real ? real(archive, buffer, size) : ARCHIVE_FATAL;
}

int archive_read_free(struct archive* archive)
{
    REAL(Libarchive, archive_read_free);
    return real ? real(archive) : ARCHIVE_FATAL;
}

int archive_entry_size_is_set(struct archive_entry* entry)
{
    REAL(Libarchive, archive_entry_size_is_set);
    return real ? real(entry) : 0;
}

la_int64_t archive_entry_size(struct archive_entry* entry)
{
    REAL(Libarchive, archive_entry_size);
    return real ? real(entry) : 0;
}

int blake2s_init_param(blake2s_state* state, const blake2s_param* parameters)
{
    REAL(Libb2, blake2s_init_param);
    return real ? real(state, parameters) : -1;
}

int blake2s_update(blake2s_state* state, const uint8_t* data, size_t size)
{
    REAL(Libb2, blake2s_update);
    return real ? real(state, data, size) : -1;
}

int blake2s_final(blake2s_state* state, uint8_t* digest, size_t size)
{
    REAL(Libb2, blake2s_final);
    return real ? real(state, digest, size) : -1;
}

}  // extern "C"
