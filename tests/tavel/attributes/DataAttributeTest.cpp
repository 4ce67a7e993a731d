#include <tavel/attributes/CreateAttribute.h>
#include <tavel/attributes/DataMA.h>
#include <tavel/attributes/DataSA.h>
#include <tavel/attributes/DataSAEnum.h>
#include <tavel/attributes/DataSAMinMax.h>
#include <tavel/nodes/CustomNode.h>
#include <tavel/nodes/Node.h>

#include <gtest/gtest.h>

#include <limits>
#include <utility>

namespace Norv::Tavel {
namespace {

// Two different values per kind, written out here.
template <AttributeType N> struct Sample;
#define TAVEL_SAMPLE(kind, first, ...)                                                             \
    template <> struct Sample<kind> {                                                              \
        static KindTraits<kind>::ValueType a() { return first; }                                   \
        static KindTraits<kind>::ValueType b() { return __VA_ARGS__; }                             \
    };
TAVEL_SAMPLE(AT_S_BOOL, false, true)
TAVEL_SAMPLE(AT_S_BYTE, 0, 200)
TAVEL_SAMPLE(AT_S_DOUBLE, 0.0, -2.5)
TAVEL_SAMPLE(AT_S_FLOAT, 0.f, 3.25f)
TAVEL_SAMPLE(AT_S_FLOAT3, {}, {1, 2, 3})
TAVEL_SAMPLE(AT_S_INT64, 0, -(std::int64_t{1} << 40))
TAVEL_SAMPLE(AT_S_UINT32, 0, 4000000000u)
TAVEL_SAMPLE(AT_S_STRING, {}, QStringLiteral("n\u00e4me"))
TAVEL_SAMPLE(AT_S_VEC4, {}, {0, 0, 0, 1})
TAVEL_SAMPLE(AT_S_QUAT, {}, {0, 0, 0, 1})
TAVEL_SAMPLE(AT_M_BOOL, {}, {true, false})
TAVEL_SAMPLE(AT_M_FLOAT2, {}, {{1, 2}})
TAVEL_SAMPLE(AT_M_STRING, {}, {QStringLiteral("x"), QString()})
TAVEL_SAMPLE(AT_M_QUAT, {}, {{1, 0, 0, 0}})
#undef TAVEL_SAMPLE
template <> struct Sample<AT_S_MAT44> {
    static Mat44f a() { return {}; }
    static Mat44f b() {
        Mat44f m;
        m[2][1] = 7;
        return m;
    }
};

template <AttributeType N>
using Held = std::conditional_t<KindTraits<N>::isList, DataMA<N>, DataSA<N>>;

template <class Tag> class EveryValueKind : public ::testing::Test {};
using ValueKinds = ::testing::Types<KindTag<AT_S_BOOL>, KindTag<AT_S_BYTE>, KindTag<AT_S_DOUBLE>,
                                    KindTag<AT_S_FLOAT>, KindTag<AT_S_FLOAT3>, KindTag<AT_S_INT64>,
                                    KindTag<AT_S_UINT32>, KindTag<AT_S_STRING>, KindTag<AT_S_VEC4>,
                                    KindTag<AT_S_QUAT>, KindTag<AT_S_MAT44>, KindTag<AT_M_BOOL>,
                                    KindTag<AT_M_FLOAT2>, KindTag<AT_M_STRING>, KindTag<AT_M_QUAT>>;
TYPED_TEST_SUITE(EveryValueKind, ValueKinds);

TYPED_TEST(EveryValueKind, SetGetCompareAndGenericValues) {
    constexpr AttributeType N = TypeParam::value;
    using S = Sample<N>;
    Held<N> attribute(nullptr, S::a(), gt_color);
    EXPECT_EQ(attribute.getAttributeType(), N);
    EXPECT_EQ(attribute.getGuiControlType(), gt_color);
    EXPECT_EQ(attribute.getIncarnation(), 1);
    EXPECT_EQ(attribute.getDimension(), KindTraits<N>::isList ? 1u : 0u);

    attribute.set(S::b());
    EXPECT_TRUE(attribute.get() == S::b());
    std::int64_t const stamped = attribute.getIncarnation();
    EXPECT_GT(stamped, 1);

    Held<N> other(nullptr, S::a(), gt_none);
    EXPECT_FALSE(attribute == other);
    EXPECT_TRUE(attribute != other);
    other.setGeneric(attribute.getGeneric());
    EXPECT_TRUE(attribute == other);
    EXPECT_EQ(other.getGeneric().m_type, N);

    // A value of another kind, or an empty one, is refused and changes nothing.
    AttributeValue const foreign = N == AT_S_INT64 ? AttributeValue(1.0) : AttributeValue(int{1});
    EXPECT_THROW(other.setGeneric(foreign), BadCastException);
    EXPECT_THROW(other.setGeneric(AttributeValue()), BadCastException);
    AttributeValue mistagged = attribute.getGeneric();
    mistagged.m_value = std::string("not the value type");
    EXPECT_THROW(other.setGeneric(mistagged), BadCastException);
    EXPECT_TRUE(other.get() == S::b());

    // Plain attributes have no range.
    EXPECT_FALSE(attribute.hasMinMaxValues());
    EXPECT_THROW(attribute.getMinValueGeneric(), NotSupported);
    EXPECT_THROW(attribute.getMaxValue(), NotSupported);
    EXPECT_THROW(attribute.setMinMaxValues(S::a(), S::b()), NotSupported);
    EXPECT_TRUE(attribute.get() == S::b());

    // Assignment takes the value, not the owner-side state.
    Held<N> target(nullptr, S::a(), gt_label);
    target = attribute;
    EXPECT_TRUE(target.get() == S::b());
    EXPECT_EQ(target.getGuiControlType(), gt_label);

    // Setting an equal value: single values stay quiet, lists always report.
    Held<N> same(nullptr, S::b(), gt_none);
    same.set(S::b());
    EXPECT_EQ(same.getIncarnation() > 1, KindTraits<N>::isList);
}

// Single values compare with an absolute epsilon, plain vectors and lists
// exactly, and NaN equals nothing: a set stores exactly what compares unequal.
TEST(DataAttributes, EqualityDecidesWhatASetStores) {
    float const e = std::numeric_limits<float>::epsilon();
    float const nan = std::numeric_limits<float>::quiet_NaN();
    struct Row {
        char const* what;
        AttributeValue first, second;
        bool stored;
    };
    Row const rows[] = {
        {"double within epsilon", AttributeValue(0.0), AttributeValue(1e-17), false},
        {"the same double", AttributeValue(1.0), AttributeValue(1.0), false},
        {"float within epsilon", AttributeValue(1.0f), AttributeValue(1.0f + e), false},
        {"plain vector", AttributeValue(Vec2f(1, 1)), AttributeValue(Vec2f(1 + e, 1)), true},
        {"NaN", AttributeValue(nan), AttributeValue(nan), true},
        {"list", AttributeValue(std::vector<double>{0.0}),
         AttributeValue(std::vector<double>{1e-17}), true},
    };
    for (Row const& row : rows) {
        SCOPED_TRACE(row.what);
        auto const attribute = createAttribute(AttributeType(row.first.m_type), nullptr, false);
        auto const other = createAttribute(AttributeType(row.first.m_type), nullptr, false);
        attribute->setGeneric(row.first);
        other->setGeneric(row.second);
        EXPECT_EQ(row.stored, !attribute->compare(*other));
        std::int64_t const before = attribute->getIncarnation();
        attribute->setGeneric(row.second);
        EXPECT_EQ(row.stored, attribute->getIncarnation() > before);
    }
    DataSA<AT_S_FLOAT> const f(nullptr, nan, gt_none);
    EXPECT_TRUE(f == f); // the same object, without compare
    DataSAMinMax<AT_S_FLOAT> ranged(nullptr, 0.f, -1.f, 1.f, gt_none);
    ranged.set(nan);
    EXPECT_TRUE(std::isnan(ranged.get()));
}

TEST(RangedAttributes, ValuesAreClampedNeverRejected) {
    DataSAMinMax<AT_S_INT32> i(nullptr, 5, 0, 10, gt_none);
    i.set(-5);
    EXPECT_EQ(i.get(), 0);
    std::int64_t const afterLow = i.getIncarnation();
    EXPECT_GT(afterLow, 1);
    i.set(50);
    EXPECT_EQ(i.get(), 10);
    std::int64_t const afterHigh = i.getIncarnation();
    EXPECT_GT(afterHigh, afterLow);
    i.setMinMaxValues(20, 30);
    EXPECT_EQ(i.get(), 20);
    EXPECT_GT(i.getIncarnation(), afterHigh);
    std::int64_t const afterRange = i.getIncarnation();
    i.setMinMaxValues(0, 100); // value stays inside: no report
    EXPECT_EQ(i.getIncarnation(), afterRange);
    EXPECT_EQ(i.getMinValueGeneric().m_type, AT_S_INT32);
    EXPECT_EQ(*i.getMaxValueGeneric().get<int>(), 100);

    // A float vector is clamped as a whole.
    DataSAMinMax<AT_S_FLOAT2> v(nullptr, {}, {0, 0}, {1, 1}, gt_none);
    v.set({0.5f, -1.f});
    EXPECT_EQ(v.get(), FloatVec2(0, 0));
    v.set({0.5f, 2.f});
    EXPECT_EQ(v.get(), FloatVec2(1, 1));

    // The constructor clamps too; a minimum above the maximum is kept as given.
    DataSAMinMax<AT_S_DOUBLE> inverted(nullptr, 5.0, 10.0, 0.0, gt_none);
    EXPECT_EQ(inverted.get(), 10.0);
    inverted.set(20.0);
    EXPECT_EQ(inverted.get(), 0.0);
    EXPECT_EQ(inverted.getMinValue(), 10.0);
}

TEST(RangedAttributes, AssignTakesRangeThenValue) {
    DataSAMinMax<AT_S_UINT64> source(nullptr, 7, 5, 9, gt_none);
    DataSAMinMax<AT_S_UINT64> target(nullptr, 0, 0, 100, gt_none);
    target.assign(source);
    EXPECT_EQ(target.getMinValue(), 5u);
    EXPECT_EQ(target.getMaxValue(), 9u);
    EXPECT_EQ(target.get(), 7u);

    // Plain to ranged: the value is clamped into the target's range.
    DataSA<AT_S_UINT64> plain(nullptr, 1000, gt_none);
    target.assign(plain);
    EXPECT_EQ(target.get(), 9u);
    EXPECT_EQ(target.getMaxValue(), 9u);

    // Across kinds: refused, nothing changed; compare is simply false.
    DataSA<AT_S_INT64> other(nullptr, 3, gt_none);
    EXPECT_THROW(target.assign(other), BadCastException);
    EXPECT_THROW(static_cast<Attribute&>(target) = other, BadCastException);
    EXPECT_EQ(target.get(), 9u);
    EXPECT_FALSE(target.compare(other));
    EXPECT_THROW(target.copy(other), BadCastException);
}

TEST(CreateAttribute, EveryKindStartsEmptyAndRangesSpanTheType) {
    for (int number = 0; number < 36; ++number) {
        SCOPED_TRACE(number);
        AttributeType const type = AttributeType(number);
        for (bool withMinMax : {false, true}) {
            boost::shared_ptr<Attribute> const attribute =
                createAttribute(type, nullptr, withMinMax);
            ASSERT_TRUE(attribute);
            EXPECT_EQ(attribute->getAttributeType(), type);
            EXPECT_EQ(attribute->getIncarnation(), 1);
            EXPECT_EQ(attribute->getGuiControlType(), gt_none);
            EXPECT_EQ(attribute->getSize(), number < 19 ? 1u : 0u);
            bool const ranged = withMinMax && ((number >= 4 && number <= 11) || number == 2);
            EXPECT_EQ(attribute->hasMinMaxValues(), ranged);
        }
    }
    auto const u32 = createAttribute(AT_S_UINT32, nullptr, true);
    EXPECT_EQ(*u32->getMaxValueGeneric().get<unsigned>(), 4294967295u);
    EXPECT_EQ(*u32->getGeneric().get<unsigned>(), 0u);
    EXPECT_EQ(*createAttribute(AT_S_INT32, nullptr, true)->getMinValueGeneric().get<int>(),
              std::numeric_limits<int>::min());
    auto const f3 = createAttribute(AT_S_FLOAT3, nullptr, true);
    EXPECT_EQ(*f3->getMinValueGeneric().get<FloatVec3>(),
              FloatVec3(-3.402823466e38f, -3.402823466e38f, -3.402823466e38f));
    auto const m = createAttribute(AT_S_MAT44, nullptr, false);
    EXPECT_EQ(*m->getGeneric().get<Mat44f>(), Mat44f());
    EXPECT_EQ(*createAttribute(AT_S_STRING, nullptr, false)->getGeneric().get<QString>(),
              QString());
    auto const e = createAttribute(AT_S_ENUM, nullptr, true);
    EXPECT_EQ(dynamic_cast<DataSAEnum&>(*e).getNumberOfElements(), 0u);
    EXPECT_EQ(*e->getGeneric().get<unsigned>(), 0u);
    EXPECT_FALSE(*createAttribute(AT_S_NODE_PTR, nullptr, false)->getGeneric().get<NodeRef>());

    // Queries that need the owner throw rather than reach for a missing one.
    EXPECT_FALSE(m->hasOwner());
    EXPECT_THROW(m->getAttributeName(), UnknownAttributeException);
    EXPECT_THROW(m->getHumanReadableName(), UnknownAttributeException);
    EXPECT_THROW(m->isCustom(), UnknownAttributeException);
    EXPECT_THROW(m->getID(), UnknownAttributeException);

    EXPECT_THROW(createAttribute(AttributeType(36), nullptr, false), NotSupported);
    EXPECT_THROW(createAttribute(AttributeType(-1), nullptr, true), NotSupported);
}

// Counts the changes reported through its postChange slot.
template <class Base> class Watched : public Base {
public:
    using Base::Base;
    explicit Watched(Base const& other) : Base(other) {}
    int changes = 0;

protected:
    void postChange(ChangeAction action, bool structureChanged,
                    boost::optional<Attribute const&> source,
                    std::int64_t const& incarnation) override {
        ++changes;
        Base::postChange(action, structureChanged, source, incarnation);
    }
};

// The library's own classes report without a virtual call; a subclass that
// overrides postChange still hears every change, also when it is a copy of an
// attribute that has already reported.
TEST(Attributes, AnOverriddenPostChangeHearsEveryChange) {
    DataSA<AT_S_FLOAT> plain(nullptr, 0.f, gt_none);
    plain.set(1.f);
    Watched<DataSA<AT_S_FLOAT>> copied(plain);
    copied.set(2.f);
    copied.set(2.f);
    copied.set(3.f);
    EXPECT_EQ(copied.changes, 2);
    EXPECT_GT(copied.getIncarnation(), plain.getIncarnation());

    DataSAMinMax<AT_S_INT32> ranged(nullptr, 0, 0, 10, gt_none);
    ranged.set(1);
    Watched<DataSAMinMax<AT_S_INT32>> rangedCopy(ranged);
    rangedCopy.set(20);
    rangedCopy.setMinMaxValues(0, 5);
    EXPECT_EQ(rangedCopy.changes, 2);

    DataMA<AT_M_INT32> list(nullptr, {}, gt_none);
    list.set({1});
    Watched<DataMA<AT_M_INT32>> listCopy(list);
    listCopy.set({1});
    EXPECT_EQ(listCopy.changes, 1);
}

// Edits in two notified steps (a range, then the value; names, then the
// index) whose first step's subscriber removes both attributes: the edit
// ends on the attribute alone and reads nothing freed (the sanitizers check).
TEST(Attributes, TwoStepEditsOutliveASubscriberRemovingBothAttributes) {
    for (int const mode : {0, 1, 2}) {
        SCOPED_TRACE(mode);
        bool const ranged = mode == 0;
        AttributeType const type = ranged ? AT_S_FLOAT : AT_S_ENUM;
        norv::basalt::Ref<CustomNode> const node = CustomNode::create(nullptr);
        Attribute& target = node->registerAttribute("target", type, true);
        Attribute& source = node->registerAttribute("source", type, true);
        if (ranged) {
            dynamic_cast<DataSAMinMax<AT_S_FLOAT>&>(target).setMinMaxValues(0.f, 1000.f);
            target.setGeneric(AttributeValue(100.f));
            dynamic_cast<DataSAMinMax<AT_S_FLOAT>&>(source).setMinMaxValues(5.f, 9.f);
            source.setGeneric(AttributeValue(7.f));
        } else {
            dynamic_cast<SAEnum&>(target).setStringValues({"a", "b", "c"});
            target.setGeneric(AttributeValue(QStringLiteral("c")));
            dynamic_cast<SAEnum&>(source).setStringValues({"p", "q"});
            source.setGeneric(AttributeValue(QStringLiteral("q")));
        }
        bool removed = false;
        auto const watch = node->subscribeForNodeChangeNotification(
            [&](ChangeAction, Node const&, boost::optional<Attribute const&>) {
                if (!std::exchange(removed, true)) {
                    node->removeAttribute("target");
                    node->removeAttribute("source");
                }
            });
        if (mode == 2) {
            target.copy(source);
        } else {
            target.assign(source);
        }
        EXPECT_TRUE(removed);
        EXPECT_EQ(node->calculateNumberOfAttributes(), 0u);
    }
}

} // namespace
} // namespace Norv::Tavel
