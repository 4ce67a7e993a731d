// Fuzz target for Uuid text parsing.
//
// Input: the text, as it is.
//
// Checks, on every input: Uuid(std::string) and Boost's string generator give
// the same verdict and the same bytes; Uuid(char const*) does the same for the
// text up to its first NUL; both agree with the documented grammar (an
// optional pair of braces, 32 hexadecimal digits of either case, dashes
// nowhere or after bytes 4, 6, 8 and 10); an accepted identifier's text is in
// the written form and reads back to the same identifier.

#include <basalt/Uuid.h>

#include <boost/uuid/string_generator.hpp>
#include <boost/uuid/uuid.hpp>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>

using norv::basalt::Uuid;

namespace {

void check(bool condition, char const* what) {
    if (!condition) {
        std::fprintf(stderr, "uuid_fuzz: %s\n", what);
        std::abort();
    }
}

std::optional<Uuid::Bytes> fromBoost(std::string const& text) {
    try {
        boost::uuids::uuid const parsed =
            boost::uuids::string_generator()(text.begin(), text.end());
        Uuid::Bytes bytes;
        std::memcpy(bytes.data(), parsed.data, bytes.size());
        return bytes;
    } catch (std::runtime_error const&) {
        return std::nullopt;
    }
}

template <class Argument> std::optional<Uuid::Bytes> fromUuid(Argument const& text) {
    try {
        return Uuid(text).bytes();
    } catch (std::runtime_error const& e) {
        check(std::strcmp(e.what(), "invalid uuid string") == 0, "unexpected message");
        return std::nullopt;
    }
}

// The documented grammar, read independently of Boost.
bool documentedForm(std::string const& text) {
    std::string body = text;
    if (!body.empty() && body.front() == '{') {
        if (body.size() < 2 || body.back() != '}') {
            return false;
        }
        body = body.substr(1, body.size() - 2);
    }
    bool const dashed = body.size() == 36;
    if (!dashed && body.size() != 32) {
        return false;
    }
    for (std::size_t i = 0; i < body.size(); ++i) {
        bool const dashHere = dashed && (i == 8 || i == 13 || i == 18 || i == 23);
        if (dashHere ? body[i] != '-' : !std::isxdigit(static_cast<unsigned char>(body[i]))) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    std::string const text(reinterpret_cast<char const*>(data), size);

    std::optional<Uuid::Bytes> const expected = fromBoost(text);
    std::optional<Uuid::Bytes> const parsed = fromUuid(text);
    check(parsed.has_value() == expected.has_value(), "verdict differs from Boost's");
    check(!parsed || *parsed == *expected, "bytes differ from Boost's");
    check(parsed.has_value() == documentedForm(text), "verdict differs from the documented form");

    // The C string stops at the first NUL.
    std::string const prefix(text.c_str());
    std::optional<Uuid::Bytes> const fromPrefix = fromUuid(text.c_str());
    std::optional<Uuid::Bytes> const expectedPrefix = fromBoost(prefix);
    check(fromPrefix.has_value() == expectedPrefix.has_value(), "C string verdict differs");
    check(!fromPrefix || *fromPrefix == *expectedPrefix, "C string bytes differ");

    if (parsed) {
        Uuid const id(*parsed);
        std::string const written = id.toString();
        check(written.size() == 38 && written.front() == '{' && written.back() == '}',
              "written form is not braced");
        for (char c : written) {
            check(!std::islower(static_cast<unsigned char>(c)), "written form has lower case");
        }
        check(Uuid(written) == id, "written form reads back differently");
        check(id.isEmpty() == (*parsed == Uuid::Bytes{}), "isEmpty disagrees with the bytes");
    }
    return 0;
}
