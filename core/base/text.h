// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvel {

// Fixed-size text fields from the wire or from records may lack their NUL: the text ends at the first NUL
// or at the field's end, whichever comes first. Never reads past `size` bytes.
inline std::string_view FieldText(const void* field, size_t size) {
    const char* text = static_cast<const char*>(field);
    size_t length = 0;
    while (length < size && text[length] != '\0') ++length;
    return {text, length};
}

// Writes `text` into a field of `size` bytes: at most size - 1 bytes of it, NUL-padded to the end.
void StoreFieldText(void* field, size_t size, std::string_view text);

// Bounded length of a caller's NUL-terminated text (stops after `limit` bytes).
inline size_t BoundedLength(const char* text, size_t limit) {
    if (text == nullptr) return 0;
    size_t length = 0;
    while (length < limit && text[length] != '\0') ++length;
    return length;
}

// Converts at most max_units UTF-16 code units (stopping at a NUL) to UTF-8; unpaired surrogates become
// U+FFFD so that every output is valid UTF-8.
std::string Utf16ToUtf8(const char16_t* text, size_t max_units = 259);

// Look-up key of a device name: h starts as the length, step = len / 32 + 1, and for i = len, len - step,
// ... while i >= step: h ^= h * 32 + h / 4 + (signed char)text[i - 1], all in wrapping 32-bit arithmetic.
uint32_t NameHash(std::string_view text);
inline uint32_t NameHash(const char* text) {
    return NameHash(std::string_view(text));
}

// A hash of every byte of an identifier (FNV-1a, then a final mix), for hash tables. NameHash reads only
// every second character of names of 32 or more, so names that differ only there all share its value.
uint32_t IdentifierHash(std::string_view text);

// The longest client path in UTF-16 units, without its terminating NUL.
inline constexpr size_t kMaxPathUnits = 259;

// Copies at most kMaxPathUnits units of `path` (stopping at a NUL; null is empty) into `out` and
// terminates it.
inline void CopyClientPath(const char16_t* path, char16_t (&out)[kMaxPathUnits + 1]) {
    size_t n = 0;
    for (; path != nullptr && n < kMaxPathUnits && path[n] != 0; ++n) out[n] = path[n];
    out[n] = 0;
}

// The file-system name of `units` UTF-16 units of a client path: UTF-8, with backslashes taken as folder
// separators as MakeDirectoryPath takes them.
std::string FileSystemPath(const char16_t* path, size_t units);

// `name` without a final `extension` such as ".avi", matched without regard to ASCII case; unchanged when
// it does not end so.
template <typename Char>
std::basic_string<Char> WithoutExtension(std::basic_string<Char> name, std::string_view extension) {
    if (name.size() < extension.size()) return name;
    const size_t at = name.size() - extension.size();
    for (size_t i = 0; i < extension.size(); ++i) {
        const auto unit = static_cast<uint32_t>(name[at + i]);
        const uint32_t lower = unit >= 'A' && unit <= 'Z' ? unit + ('a' - 'A') : unit;
        if (lower != static_cast<unsigned char>(extension[i])) return name;
    }
    name.resize(at);
    return name;
}

// Creates every directory named before a '/' or '\' of the path (the last component is the file name and is
// not created). An existing directory is accepted; fails when a creation fails otherwise or the name is not
// a directory afterwards. Backslashes are taken as separators, so "a\b\c.avi" makes a/b.
bool MakeDirectoryPath(const char16_t* path);

}  // namespace corvel
