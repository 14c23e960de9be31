#pragma once
// Builds a version block (VS_VERSIONINFO with one string table and one
// translation) at compile time, so the program can carry its own version
// resource in an ELF section and read it like a Windows executable's.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace appinfo {

struct VersionString {
    std::u16string_view key;
    std::u16string_view value;
};

template <std::size_t Count> struct VersionInfoSpec {
    std::array<uint16_t, 4> fileVersion; // major, minor, release, build
    std::array<uint16_t, 4> productVersion;
    uint16_t language; // 0x0409
    uint16_t codePage; // 0x04E4
    std::array<VersionString, Count> strings;
};

namespace detail {

constexpr std::size_t align4(std::size_t n) {
    return (n + 3) & ~std::size_t(3);
}
constexpr std::size_t header(std::size_t keyChars) {
    return align4(6 + 2 * (keyChars + 1));
}
constexpr std::size_t stringNode(const VersionString& s) {
    return header(s.key.size()) + 2 * (s.value.size() + 1);
}
template <std::size_t Count> constexpr std::size_t table(const VersionInfoSpec<Count>& desc) {
    std::size_t n = header(8);
    for (const VersionString& s : desc.strings)
        n += align4(stringNode(s));
    return n;
}
constexpr std::size_t kTranslation = header(11) + 4; // "Translation"

template <std::size_t N> struct Writer {
    std::array<unsigned char, N> out{};
    std::size_t pos = 0;
    constexpr void u16(uint16_t v) {
        out[pos++] = static_cast<unsigned char>(v & 0xFF);
        out[pos++] = static_cast<unsigned char>(v >> 8);
    }
    constexpr void u32(uint32_t v) {
        u16(static_cast<uint16_t>(v & 0xFFFF));
        u16(static_cast<uint16_t>(v >> 16));
    }
    constexpr void pad() {
        while (pos % 4)
            out[pos++] = 0;
    }
    constexpr void text(std::u16string_view s) {
        for (char16_t c : s)
            u16(c);
        u16(0);
    }
    constexpr void node(std::size_t length, std::size_t valueLength, uint16_t type,
                        std::u16string_view key) {
        u16(static_cast<uint16_t>(length));
        u16(static_cast<uint16_t>(valueLength));
        u16(type);
        text(key);
        pad();
    }
};

constexpr char16_t hexDigit(unsigned v) {
    return static_cast<char16_t>(v < 10 ? u'0' + v : u'A' + (v - 10));
}

} // namespace detail

template <std::size_t Count>
constexpr std::size_t VersionBlockSize(const VersionInfoSpec<Count>& desc) {
    using namespace detail;
    return header(15) + 52 + align4(header(14) + align4(table(desc))) +
           align4(header(11) + align4(kTranslation));
}

template <std::size_t N, std::size_t Count>
constexpr std::array<unsigned char, N> BuildVersionBlock(const VersionInfoSpec<Count>& desc) {
    using namespace detail;
    Writer<N> w;
    w.node(N, 52, 0, u"VS_VERSION_INFO");
    // VS_FIXEDFILEINFO
    w.u32(0xFEEF04BD);
    w.u32(0x00010000);
    w.u32(uint32_t(desc.fileVersion[0]) << 16 | desc.fileVersion[1]);
    w.u32(uint32_t(desc.fileVersion[2]) << 16 | desc.fileVersion[3]);
    w.u32(uint32_t(desc.productVersion[0]) << 16 | desc.productVersion[1]);
    w.u32(uint32_t(desc.productVersion[2]) << 16 | desc.productVersion[3]);
    w.u32(0x3F);    // flags mask
    w.u32(0);       // flags
    w.u32(0x40004); // 32-bit Windows NT
    w.u32(1);       // application
    w.u32(0);
    w.u32(0);
    w.u32(0);

    const std::size_t tableLength = table(desc);
    w.node(header(14) + align4(tableLength), 0, 1, u"StringFileInfo");
    char16_t name[8] = {};
    const uint32_t code = uint32_t(desc.language) << 16 | desc.codePage;
    for (int i = 0; i < 8; ++i)
        name[i] = hexDigit((code >> (28 - 4 * i)) & 0xF);
    w.node(tableLength, 0, 1, std::u16string_view(name, 8));
    for (const VersionString& s : desc.strings) {
        w.node(stringNode(s), s.value.size() + 1, 1, s.key);
        w.text(s.value);
        w.pad();
    }
    w.node(header(11) + align4(kTranslation), 0, 1, u"VarFileInfo");
    w.node(kTranslation, 4, 0, u"Translation");
    w.u16(desc.language);
    w.u16(desc.codePage);
    w.pad();
    return w.out;
}

} // namespace appinfo
