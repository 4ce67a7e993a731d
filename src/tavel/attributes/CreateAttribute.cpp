#include <tavel/attributes/CreateAttribute.h>

#include <tavel/attributes/DataMA.h>
#include <tavel/attributes/DataMANode.h>
#include <tavel/attributes/DataSA.h>
#include <tavel/attributes/DataSAEnum.h>
#include <tavel/attributes/DataSAMinMax.h>
#include <tavel/attributes/DataSANode.h>
#include <tavel/nodes/Node.h>
#include <tavel/types/Exceptions.h>

#include <boost/make_shared.hpp>

#include <limits>

namespace Norv::Tavel {

namespace {

// The whole span of a value type: floating types from -max to max, integers
// from their lowest to their highest value, float vectors per component.
template <class T> T lowestValue() {
    if constexpr (std::is_floating_point_v<T>) {
        return -std::numeric_limits<T>::max();
    } else if constexpr (std::is_arithmetic_v<T>) {
        return std::numeric_limits<T>::min();
    } else {
        T value;
        for (int i = 0; i < T::size(); ++i) {
            value[i] = -std::numeric_limits<float>::max();
        }
        return value;
    }
}

template <class T> T highestValue() {
    if constexpr (std::is_arithmetic_v<T>) {
        return std::numeric_limits<T>::max();
    } else {
        T value;
        for (int i = 0; i < T::size(); ++i) {
            value[i] = std::numeric_limits<float>::max();
        }
        return value;
    }
}

template <AttributeType N>
boost::shared_ptr<Attribute> makeAttribute(Node* owner, bool withMinMax) {
    using Traits = KindTraits<N>;
    using T = typename Traits::ValueType;
    // Value-initialised: false, 0, empty, and zeroed vectors and matrices.
    T const initial{};
    if constexpr (Traits::family == KindFamily::Ranged) {
        if (withMinMax) {
            return boost::make_shared<DataSAMinMax<N>>(owner, initial, lowestValue<T>(),
                                                       highestValue<T>(), gt_none);
        }
        return boost::make_shared<DataSA<N>>(owner, initial, gt_none);
    } else if constexpr (Traits::family == KindFamily::Plain) {
        return boost::make_shared<DataSA<N>>(owner, initial, gt_none);
    } else if constexpr (Traits::family == KindFamily::List) {
        return boost::make_shared<DataMA<N>>(owner, initial, gt_none);
    } else if constexpr (Traits::family == KindFamily::Enum) {
        return boost::make_shared<DataSAEnum>(owner, QStringList(), 0u, gt_none);
    } else if constexpr (Traits::family == KindFamily::Node) {
        return boost::make_shared<DataSANode<Node>>(owner, gt_none);
    } else {
        return boost::make_shared<DataMANode<Node>>(owner, gt_none);
    }
}

} // namespace

boost::shared_ptr<Attribute> createAttribute(AttributeType type, Node* owner, bool withMinMax) {
    if (!isValidAttributeType(type)) {
        throw NotSupported("");
    }
    // One allocation per attribute; the pointer deletes through the concrete
    // class's public destructor.
    return visitKind(
        type, [&](auto tag) { return makeAttribute<decltype(tag)::value>(owner, withMinMax); });
}

} // namespace Norv::Tavel
