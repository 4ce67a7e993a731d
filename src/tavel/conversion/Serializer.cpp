// Byte-stream records of AT_S_FLOAT and AT_S_UINT32 attributes.

#include <tavel/conversion/Serializer.h>

#include <tavel/attributes/AttributeBase.h>
#include <tavel/nodes/Node.h>
#include <tavel/types/AttributeTraits.h>

#include <cstdint>
#include <cstring>

namespace Norv::Tavel {

namespace {

constexpr std::size_t FIELD_SIZE = 4;
// Minimum, maximum, value.
constexpr std::size_t LONGEST_RECORD = 3 * FIELD_SIZE;

template <AttributeType N> constexpr bool HAS_RECORD = N == AT_S_FLOAT || N == AT_S_UINT32;

// A strong reference to the attribute's node, where the node can be held:
// between the range and the value, a subscriber may drop the last one.
NodeRef holdOwner(Attribute const& attribute) {
    if (!attribute.hasOwner()) {
        return NodeRef();
    }
    Node& owner = attribute.getOwner();
    norv::basalt::RefCounter const* const counter = owner.refCounter();
    if (counter->getLifeCycle() != norv::basalt::LC_REFERENCED || counter->getStrongCount() == 0) {
        return NodeRef();
    }
    return NodeRef(&owner);
}

template <class T> void encode(T value, char* bytes) {
    static_assert(sizeof(T) == FIELD_SIZE);
    std::uint32_t bits;
    std::memcpy(&bits, &value, FIELD_SIZE);
    for (std::size_t i = 0; i < FIELD_SIZE; ++i) {
        bytes[i] = static_cast<char>((bits >> (8 * i)) & 0xFFu);
    }
}

template <class T> T decode(char const* bytes) {
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < FIELD_SIZE; ++i) {
        bits |= std::uint32_t(static_cast<unsigned char>(bytes[i])) << (8 * i);
    }
    T value;
    std::memcpy(&value, &bits, FIELD_SIZE);
    return value;
}

template <AttributeType N> void write(std::ostream& out, Attribute const& attribute) {
    if constexpr (HAS_RECORD<N>) {
        using T = typename KindTraits<N>::ValueType;
        auto const* typed = dynamic_cast<AttributeBase<SingleAttributeBase<N>> const*>(&attribute);
        if (typed == nullptr) {
            return;
        }
        char record[LONGEST_RECORD];
        std::size_t size = 0;
        if (typed->hasMinMaxValues()) {
            encode<T>(typed->getMinValue(), record);
            encode<T>(typed->getMaxValue(), record + FIELD_SIZE);
            size = 2 * FIELD_SIZE;
        }
        encode<T>(typed->get(), record + size);
        out.write(record, std::streamsize(size + FIELD_SIZE));
    } else {
        (void)out;
        (void)attribute;
    }
}

// The whole record is read before anything is stored, so a short read
// leaves the attribute as it was.
template <AttributeType N> void read(std::istream& in, Attribute& attribute) {
    if constexpr (HAS_RECORD<N>) {
        using T = typename KindTraits<N>::ValueType;
        auto* typed = dynamic_cast<AttributeBase<SingleAttributeBase<N>>*>(&attribute);
        if (typed == nullptr) {
            return;
        }
        bool const ranged = typed->hasMinMaxValues();
        std::size_t const size = ranged ? LONGEST_RECORD : FIELD_SIZE;
        char record[LONGEST_RECORD];
        if (!in.read(record, std::streamsize(size))) {
            return;
        }
        if (ranged) {
            NodeRef const keepAlive = holdOwner(*typed);
            typed->setMinMaxValues(decode<T>(record), decode<T>(record + FIELD_SIZE));
            typed->set(decode<T>(record + 2 * FIELD_SIZE));
            return;
        }
        typed->set(decode<T>(record));
    } else {
        (void)in;
        (void)attribute;
    }
}

} // namespace

std::ostream& serializeAttribute(std::ostream& out, Attribute const& attribute) {
    AttributeType const type = attribute.getAttributeType();
    if (isValidAttributeType(type)) {
        visitKind(type, [&](auto tag) { write<decltype(tag)::value>(out, attribute); });
    }
    return out;
}

std::istream& deserializeAttribute(std::istream& in, Attribute& attribute) {
    AttributeType const type = attribute.getAttributeType();
    if (isValidAttributeType(type)) {
        visitKind(type, [&](auto tag) { read<decltype(tag)::value>(in, attribute); });
    }
    return in;
}

} // namespace Norv::Tavel
