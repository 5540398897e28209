#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "font/web.h"

// What the web font's files share: how pieces are named and checked.
namespace charlib {

// A piece is a few hundred KB; a file listed as larger is not one of ours.
inline constexpr std::uint64_t largest_piece = std::uint64_t{64} << 20;

// 64-bit FNV-1a: names the pieces by their bytes and tells a changed file.
inline std::uint64_t fnv1a(std::string_view bytes, std::uint64_t hash = 0xcbf29ce484222325)
{
    for (unsigned char byte : bytes)
        hash = (hash ^ byte) * 0x100000001b3;
    return hash;
}

// A piece's name: hex digits and ".woff2", as cutting names them.
inline bool is_piece_name(std::string_view name)
{
    constexpr std::string_view suffix = ".woff2";
    if (name.size() <= suffix.size() || !name.ends_with(suffix)) return false;
    for (const char c : name.substr(0, name.size() - suffix.size()))
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

}  // namespace charlib
