// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/text.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace corvel {

void StoreFieldText(void* field, size_t size, std::string_view text) {
    if (size == 0) return;
    auto* out = static_cast<char*>(field);
    const size_t n = text.size() < size - 1 ? text.size() : size - 1;
    if (n > 0) std::memcpy(out, text.data(), n);
    std::memset(out + n, 0, size - n);
}

static void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string Utf16ToUtf8(const char16_t* text, size_t max_units) {
    std::string out;
    if (text == nullptr) return out;
    for (size_t i = 0; i < max_units && text[i] != 0; ++i) {
        const uint32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < max_units && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            const uint32_t low = text[++i];
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

uint32_t NameHash(std::string_view text) {
    const uint32_t length = static_cast<uint32_t>(text.size());
    uint32_t h = length;
    const uint32_t step = length / 32 + 1;
    for (uint32_t i = length; i >= step; i -= step) {
        const auto c = static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(text[i - 1])));
        h ^= h * 32 + h / 4 + c;
    }
    return h;
}

uint32_t IdentifierHash(std::string_view text) {
    uint32_t h = 2166136261u;
    for (const char c : text) {
        h ^= static_cast<uint8_t>(c);
        h *= 16777619u;
    }
    // FNV leaves the low bits, which pick a table slot, weakly mixed for short names.
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
}

std::string FileSystemPath(const char16_t* path, size_t units) {
    std::u16string slashed(path, units);
    for (auto& unit : slashed) {
        if (unit == u'\\') unit = u'/';
    }
    return Utf16ToUtf8(slashed.c_str(), slashed.size());
}

bool MakeDirectoryPath(const char16_t* path) {
    if (path == nullptr) return false;
    size_t length = 0;
    while (length < kMaxPathUnits + 1 && path[length] != 0) ++length;
    for (size_t i = 0; i < length; ++i) {
        if (path[i] != u'\\' && path[i] != u'/') continue;
        if (i == 0) continue;  // the root of an absolute path
        const std::string dir = FileSystemPath(path, i);
        if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) return false;
        struct stat info {};
        if (stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    }
    return true;
}

}  // namespace corvel
