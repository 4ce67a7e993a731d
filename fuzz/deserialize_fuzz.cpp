// Fuzz target for deserializeAttribute over truncated and random streams.
//
// Input: the stream itself. Records are read one after another until the
// stream fails: before each, one byte from the stream picks the kind (low
// six bits, modulo 36) and the range variant (bit 6).
//
// Checks: a kind without a record reads nothing; a short record stores
// nothing (value, range and incarnation as before) and fails the stream; a
// full record stores the range as given and the value clamped into it,
// unless it equals the held one; what is stored is written back as the
// same record and reads back identically into another attribute.

#include <tavel/attributes/CreateAttribute.h>
#include <tavel/conversion/Serializer.h>
#include <tavel/types/ValueTypes.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <sstream>
#include <string>
#include <type_traits>

using namespace Norv::Tavel;

namespace {

void check(bool condition, char const* what) {
    if (!condition) {
        std::fprintf(stderr, "deserialize_fuzz: %s\n", what);
        std::abort();
    }
}

template <class T> T decode(char const* bytes) {
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) {
        bits |= std::uint32_t(static_cast<unsigned char>(bytes[i])) << (8 * i);
    }
    T value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

template <class T> std::uint32_t bitsOf(T value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

template <class T> T valueOf(AttributeValue const& value) {
    T const* const held = value.get<T>();
    check(held != nullptr, "generic value of the wrong type");
    return *held;
}

// The documented rule: below the minimum gives the minimum, else above the
// maximum gives the maximum.
template <class T> T clamp(T value, T minValue, T maxValue) {
    if (value < minValue) {
        return minValue;
    }
    if (maxValue < value) {
        return maxValue;
    }
    return value;
}

// A value that no tolerance makes equal to `value` (NaN included).
template <class T> T farFrom(T value) {
    if constexpr (std::is_floating_point_v<T>) {
        return value > 0 ? T(-1) : T(1);
    } else {
        return value == 0 ? T(1) : T(0);
    }
}

// What set() keeps: the held value when the new one equals it.
template <class T> T afterSet(T held, T value) {
    return singleValueEquals(value, held) ? held : value;
}

template <class T> void checkRecord(Attribute& attribute, std::istream& in) {
    bool const ranged = attribute.hasMinMaxValues();
    T const heldValue = valueOf<T>(attribute.getGeneric());
    T const heldMin = ranged ? valueOf<T>(attribute.getMinValueGeneric()) : T();
    T const heldMax = ranged ? valueOf<T>(attribute.getMaxValueGeneric()) : T();
    std::int64_t const incarnation = attribute.getIncarnation();

    std::streamsize const recordSize = ranged ? 12 : 4;
    std::streampos const start = in.tellg();
    std::string const rest(std::istreambuf_iterator<char>(in), {});
    in.seekg(start);
    deserializeAttribute(in, attribute);
    T const value = valueOf<T>(attribute.getGeneric());

    if (std::streamsize(rest.size()) < recordSize) {
        check(in.fail(), "a short record left the stream good");
        check(attribute.getIncarnation() == incarnation, "a short record reported a change");
        check(bitsOf(value) == bitsOf(heldValue), "a short record changed the value");
        if (ranged) {
            check(bitsOf(valueOf<T>(attribute.getMinValueGeneric())) == bitsOf(heldMin) &&
                      bitsOf(valueOf<T>(attribute.getMaxValueGeneric())) == bitsOf(heldMax),
                  "a short record changed the range");
        }
        return;
    }
    check(!in.fail(), "a full record failed the stream");
    check(in.tellg() - start == recordSize, "the record was not read whole");

    T expected = decode<T>(rest.data() + recordSize - 4);
    if (ranged) {
        T const minValue = decode<T>(rest.data());
        T const maxValue = decode<T>(rest.data() + 4);
        check(bitsOf(valueOf<T>(attribute.getMinValueGeneric())) == bitsOf(minValue) &&
                  bitsOf(valueOf<T>(attribute.getMaxValueGeneric())) == bitsOf(maxValue),
              "the range is not stored as given");
        // The range re-clamps the held value first, then the value is set.
        T const reclamped = afterSet(heldValue, clamp(heldValue, minValue, maxValue));
        expected = afterSet(reclamped, clamp(expected, minValue, maxValue));
    } else {
        expected = afterSet(heldValue, expected);
    }
    check(bitsOf(value) == bitsOf(expected), "the value stored is not the record's");

    // Written back: the record as stored, read back identically.
    std::ostringstream out;
    serializeAttribute(out, attribute);
    std::string const written = out.str();
    check(std::streamsize(written.size()) == recordSize, "the written record has another size");
    if (!ranged) {
        auto target = createAttribute(attribute.getAttributeType(), nullptr, false);
        // Held beyond the equality tolerance of the value, so reading it is a change.
        target->setGeneric(AttributeValue(farFrom(value)));
        std::istringstream back(written);
        deserializeAttribute(back, *target);
        check(bitsOf(valueOf<T>(target->getGeneric())) == bitsOf(value),
              "round trip changed the value");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<char const*>(data), size));
    for (int records = 0; records < 64; ++records) {
        int const selector = in.get();
        if (selector == std::char_traits<char>::eof()) {
            return 0;
        }
        AttributeType const type = AttributeType((selector & 0x3F) % ATTRIBUTE_TYPE_COUNT);
        bool const withMinMax = (selector & 0x40) != 0;
        auto attribute = createAttribute(type, nullptr, withMinMax);
        if (type == AT_S_FLOAT) {
            checkRecord<float>(*attribute, in);
        } else if (type == AT_S_UINT32) {
            checkRecord<std::uint32_t>(*attribute, in);
        } else {
            // No record: nothing is read, nothing changes.
            std::streampos const before = in.tellg();
            std::int64_t const incarnation = attribute->getIncarnation();
            deserializeAttribute(in, *attribute);
            check(in.good() && in.tellg() == before, "a kind without a record read something");
            check(attribute->getIncarnation() == incarnation, "a kind without a record changed");
            std::ostringstream out;
            serializeAttribute(out, *attribute);
            check(out.str().empty(), "a kind without a record wrote something");
        }
        if (in.fail()) {
            return 0;
        }
    }
    return 0;
}
