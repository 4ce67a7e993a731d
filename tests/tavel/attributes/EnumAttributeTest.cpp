#include <tavel/attributes/DataSA.h>
#include <tavel/attributes/DataSAEnum.h>

#include <gtest/gtest.h>

#include <vector>

namespace Norv::Tavel {
namespace {

// Records the actions the attribute reports, without a node.
class RecordingEnum : public DataSAEnum {
public:
    RecordingEnum(QStringList const& names, unsigned index)
        : DataSAEnum(nullptr, names, index, gt_enum) {}
    std::vector<ChangeAction> actions;

protected:
    void postChange(ChangeAction action, bool structureChanged,
                    boost::optional<Attribute const&> source,
                    std::int64_t const& incarnation) override {
        actions.push_back(action);
        DataSAEnum::postChange(action, structureChanged, source, incarnation);
    }
};

QStringList abc() {
    return {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
}

using Actions = std::vector<ChangeAction>;

TEST(EnumAttributes, RemovingANameKeepsTheIndexOnTheSameName) {
    RecordingEnum e(abc(), 2);
    e.removeEnum(QStringLiteral("a"));
    EXPECT_EQ(e.get(), 1u);
    EXPECT_EQ(e.getAsString(), QStringLiteral("c"));
    EXPECT_EQ(e.actions, (Actions{CA_ENUM_VALUES_CHANGED, CA_VALUE_CHANGED}));

    e.actions.clear();
    e.removeEnum(QStringLiteral("c")); // the chosen name: the first is chosen
    EXPECT_EQ(e.get(), 0u);
    EXPECT_EQ(e.actions, (Actions{CA_ENUM_VALUES_CHANGED, CA_VALUE_CHANGED}));

    e.actions.clear();
    e.removeEnum(QStringLiteral("zz"));
    EXPECT_TRUE(e.actions.empty());

    RecordingEnum single({QStringLiteral("a")}, 0);
    single.removeEnum(QStringLiteral("a"));
    EXPECT_EQ(single.getNumberOfElements(), 0u);
    EXPECT_EQ(single.get(), 0u);
    EXPECT_EQ(single.getAsString(), QString());
}

TEST(EnumAttributes, ListChangesReportOnceAndLeaveTheIndex) {
    RecordingEnum e({QStringLiteral("a"), QStringLiteral("b")}, 1);
    e.appendEnum(QStringLiteral("a"));
    e.setStringValues({QStringLiteral("a"), QStringLiteral("b")});
    EXPECT_TRUE(e.actions.empty());

    e.setStringValues({QStringLiteral("x")});
    EXPECT_EQ(e.actions, (Actions{CA_ENUM_VALUES_CHANGED}));
    EXPECT_EQ(e.get(), 1u); // past the end now: reads give nothing
    EXPECT_EQ(e.getAsString(), QString());
    EXPECT_EQ(e.getStringValue(0xFFFFFFFFu), QString());

    e.actions.clear();
    e.appendEnum(QStringLiteral("y"));
    EXPECT_EQ(e.getAsString(), QStringLiteral("y"));
    e.clearEnums();
    e.clearEnums();
    EXPECT_EQ(e.actions, (Actions{CA_ENUM_VALUES_CHANGED, CA_ENUM_VALUES_CHANGED}));
    EXPECT_EQ(e.get(), 1u);
    EXPECT_EQ(e.getAsString(), QString());
}

TEST(EnumAttributes, IndexesPastTheEndAndUnknownNamesAreIgnored) {
    RecordingEnum e(abc(), 0);
    e.set(5);
    e.set(0);
    e.setAsString(QStringLiteral("z"));
    e.setGeneric(AttributeValue(QStringLiteral("z")));
    EXPECT_TRUE(e.actions.empty());
    EXPECT_EQ(e.getEnumValue(QStringLiteral("z")), 0xFFFFFFFFu);

    e.setGeneric(AttributeValue(QStringLiteral("b")));
    EXPECT_EQ(e.get(), 1u);
    e.setGeneric(AttributeValue(2u));
    EXPECT_EQ(e.getAsString(), QStringLiteral("c"));
    EXPECT_THROW(e.setGeneric(AttributeValue(1)), BadCastException);
    EXPECT_THROW(e.setGeneric(AttributeValue()), BadCastException);
    EXPECT_THROW(e.getMinValueGeneric(), NotSupported);
    EXPECT_EQ(e.actions, (Actions{CA_VALUE_CHANGED, CA_VALUE_CHANGED}));
}

TEST(EnumAttributes, InterchangeWithUnsignedAndStringAttributes) {
    DataSAEnum e(nullptr, abc(), 2, gt_none);
    AttributeValue const generic = e.getGeneric();
    EXPECT_EQ(generic.m_type, AT_S_UINT32);

    DataSA<AT_S_UINT32> index(nullptr, 0u, gt_none);
    index.assign(e);
    EXPECT_EQ(index.get(), 2u);
    EXPECT_FALSE(index.compare(e)); // compare does not cross kinds

    DataSA<AT_S_STRING> name(nullptr, QStringLiteral("a"), gt_none);
    e.assign(name);
    EXPECT_EQ(e.get(), 0u);
    index.set(1u);
    e.assign(index);
    EXPECT_EQ(e.get(), 1u);

    DataSA<AT_S_FLOAT> other(nullptr, 1.f, gt_none);
    EXPECT_THROW(e.assign(other), BadCastException);
    EXPECT_THROW(e.copy(index), BadCastException);
    EXPECT_EQ(e.get(), 1u);
}

TEST(EnumAttributes, AssignTakesNamesThenIndexAndCompareLooksAtTheIndexOnly) {
    DataSAEnum source(nullptr, {QStringLiteral("p"), QStringLiteral("q")}, 1, gt_none);
    RecordingEnum target(abc(), 0);
    target.assign(source);
    EXPECT_EQ(target.getStringValues(), source.getStringValues());
    EXPECT_EQ(target.get(), 1u);
    EXPECT_EQ(target.actions, (Actions{CA_ENUM_VALUES_CHANGED, CA_VALUE_CHANGED}));

    DataSAEnum sameIndex(nullptr, abc(), 1, gt_none);
    EXPECT_TRUE(sameIndex.compare(source));

    // Field-wise assignment may leave the index past the end; reads stay bounded.
    DataSAEnum wide(nullptr, abc(), 2, gt_none);
    DataSAEnum narrow(nullptr, {QStringLiteral("only")}, 0, gt_none);
    DataSAEnum copy(wide);
    EXPECT_EQ(copy.getAsString(), QStringLiteral("c"));
    narrow = wide;
    EXPECT_EQ(narrow.get(), 2u);
    EXPECT_EQ(narrow.getAsString(), QStringLiteral("c"));
    DataSAEnum pastEnd(nullptr, {QStringLiteral("one")}, 7, gt_none);
    EXPECT_EQ(pastEnd.getAsString(), QString());
}

} // namespace
} // namespace Norv::Tavel
