#include <basalt/Uuid.h>

#include <boost/uuid/string_generator.hpp>
#include <boost/uuid/uuid.hpp>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace norv::basalt {

namespace {

char const INVALID_UUID_TEXT[] = "invalid uuid string";

template <class Iterator> Uuid::Bytes parse(Iterator begin, Iterator end) {
    boost::uuids::uuid parsed;
    try {
        parsed = boost::uuids::string_generator()(begin, end);
    } catch (std::runtime_error const&) {
        // The generator throws a Boost wrapper type; callers see the plain class.
        throw std::runtime_error(INVALID_UUID_TEXT);
    }
    Uuid::Bytes bytes;
    std::copy(parsed.begin(), parsed.end(), bytes.begin());
    return bytes;
}

} // namespace

Uuid::Uuid(char const* text) : m_bytes{} {
    if (text == nullptr)
        throw std::runtime_error(INVALID_UUID_TEXT);
    m_bytes = parse(text, text + std::strlen(text));
}

Uuid::Uuid(std::string const& text) : m_bytes(parse(text.begin(), text.end())) {}

std::string Uuid::toString() const {
    static char const DIGITS[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(38);
    text += '{';
    for (std::size_t i = 0; i < m_bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text += '-';
        text += DIGITS[m_bytes[i] >> 4];
        text += DIGITS[m_bytes[i] & 0x0F];
    }
    text += '}';
    return text;
}

bool Uuid::isEmpty() const noexcept {
    return std::all_of(m_bytes.begin(), m_bytes.end(), [](unsigned char b) { return b == 0; });
}

} // namespace norv::basalt
