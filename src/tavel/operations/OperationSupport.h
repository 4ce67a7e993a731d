#pragma once
// Pieces shared by the assign operator and the synchronizer.

#include <tavel/attributes/Attribute.h>
#include <tavel/attributes/AttributeBase.h>
#include <tavel/attributes/DataSAEnum.h>
#include <tavel/nodes/Node.h>
#include <tavel/types/Exceptions.h>

namespace Norv::Tavel::detail {

using SingleNodeAttribute = AttributeBase<SingleAttributeBase<AT_S_NODE_PTR>>;
using NodeListAttribute = AttributeBase<MultiAttributeBase<AT_M_NODE_PTR>>;

// The typed face of an attribute whose type was checked; a host attribute
// class that reports the type without the typed base is refused.
template <class Typed, class A> Typed& typed(A& attribute) {
    auto* const result = dynamic_cast<Typed*>(&attribute);
    if (result == nullptr) {
        throw BadCastException("");
    }
    return *result;
}

// The node's attribute of that name, or null; one of another type throws
// BadCastException, before anything is touched.
inline Attribute* attributeNamed(Node& node, QString const& name, AttributeType type) {
    boost::optional<Attribute&> const found = node.getAttribute(name);
    if (!found) {
        return nullptr;
    }
    if (found->getAttributeType() != type) {
        throw BadCastException("");
    }
    return &*found;
}

template <AttributeType N>
void setRangeOf(Attribute& to, AttributeValue const& minimum, AttributeValue const& maximum) {
    using Typed = AttributeBase<SingleAttributeBase<N>>;
    using Value = typename Typed::ValueType;
    Value const* const low = minimum.get<Value>();
    Value const* const high = maximum.get<Value>();
    if (low == nullptr || high == nullptr) {
        throw BadCastException("");
    }
    typed<Typed>(to).setMinMaxValues(*low, *high);
}

// False for kinds without a range variant.
inline bool setRange(Attribute& to, AttributeValue const& minimum, AttributeValue const& maximum) {
    switch (to.getAttributeType()) {
#define TAVEL_RANGE_Ranged(enumerator)                                                             \
    case enumerator:                                                                               \
        setRangeOf<enumerator>(to, minimum, maximum);                                              \
        return true;
#define TAVEL_RANGE_Plain(enumerator)
#define TAVEL_RANGE_Enum(enumerator)
#define TAVEL_RANGE_Node(enumerator)
#define TAVEL_RANGE_List(enumerator)
#define TAVEL_RANGE_NodeList(enumerator)
#define TAVEL_X(enumerator, number, element, human, family) TAVEL_RANGE_##family(enumerator)
        TAVEL_ATTRIBUTE_KINDS(TAVEL_X)
#undef TAVEL_X
#undef TAVEL_RANGE_Ranged
#undef TAVEL_RANGE_Plain
#undef TAVEL_RANGE_Enum
#undef TAVEL_RANGE_Node
#undef TAVEL_RANGE_List
#undef TAVEL_RANGE_NodeList
    default:
        return false;
    }
}

// What `to.assign(from)` does, for `to` an attribute of `owner`.
// Where assign would notify and then read on (a range and then the value,
// an enumeration's names and then its index), everything is read from
// `from` first and `to` is looked up again between the two steps: a
// subscriber may remove or replace either attribute in between.
inline void assignFrom(Node& owner, Attribute const& from, Attribute& to) {
    AttributeType const type = from.getAttributeType();
    bool const ranges = from.hasMinMaxValues() && to.hasMinMaxValues();
    if (type != to.getAttributeType() || (type != AT_S_ENUM && !ranges)) {
        to.assign(from);
        return;
    }
    QString const name = to.getAttributeName();
    AttributeValue second;
    if (type == AT_S_ENUM) {
        QStringList const names = typed<SAEnum const>(from).getStringValues();
        second = from.getGeneric();
        typed<SAEnum>(to).setStringValues(names);
    } else {
        AttributeValue const minimum = from.getMinValueGeneric();
        AttributeValue const maximum = from.getMaxValueGeneric();
        second = from.getGeneric();
        if (!setRange(to, minimum, maximum)) {
            to.assign(from);
            return;
        }
    }
    boost::optional<Attribute&> const again = owner.getAttribute(name);
    if (again && again->getAttributeType() == type) {
        again->setGeneric(second);
    }
}

} // namespace Norv::Tavel::detail
