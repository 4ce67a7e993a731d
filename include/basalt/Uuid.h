#pragma once
// Uuid: a 16-byte identifier compared by value, written as
// "{92F11271-E81E-4945-B01D-40134F3A3C5D}". The default value is the empty identifier
// (all zero). Parsing a malformed text throws std::runtime_error("invalid uuid string").

#include <basalt/Export.h>

#include <array>
#include <cstddef>
#include <functional>
#include <string>

namespace norv::basalt {

// A 16-byte identifier compared by value; see above for the text forms it reads and writes.
class BASALT_EXPORT Uuid {
public:
    using Bytes = std::array<unsigned char, 16>;

    Uuid() noexcept : m_bytes{} {}
    // Accepts hexadecimal digits of either case, an optional pair of braces, and dashes
    // either nowhere or after bytes 4, 6, 8 and 10. A null pointer is malformed text.
    explicit Uuid(char const* text);
    explicit Uuid(std::string const& text);
    explicit Uuid(Bytes const& bytes) noexcept : m_bytes(bytes) {}

    // Upper-case digits in braces with dashes.
    std::string toString() const;
    bool isEmpty() const noexcept;
    Bytes const& bytes() const noexcept { return m_bytes; }

    friend bool operator==(Uuid const& a, Uuid const& b) noexcept { return a.m_bytes == b.m_bytes; }
    friend bool operator!=(Uuid const& a, Uuid const& b) noexcept { return a.m_bytes != b.m_bytes; }
    // Orders by unsigned byte value, first byte first.
    friend bool operator<(Uuid const& a, Uuid const& b) noexcept { return a.m_bytes < b.m_bytes; }

private:
    Bytes m_bytes;
};

} // namespace norv::basalt

namespace std {

template <> struct hash<norv::basalt::Uuid> {
    std::size_t operator()(norv::basalt::Uuid const& id) const noexcept {
        // FNV-1a over the bytes: cheap and spreads ids that differ in any byte.
        std::size_t value = static_cast<std::size_t>(14695981039346656037ULL);
        for (unsigned char byte : id.bytes()) {
            value ^= byte;
            value *= static_cast<std::size_t>(1099511628211ULL);
        }
        return value;
    }
};

} // namespace std
