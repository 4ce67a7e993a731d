#include "support/NodeTestSupport.h"

#include <tavel/nodes/Specification.h>
#include <tavel/types/Exceptions.h>

#include <gtest/gtest.h>

namespace Norv::Tavel::testing {
namespace {

AttributeSpecification entry(char const* name, long long offset, unsigned flags, long long id) {
    AttributeSpecification result(QString::fromUtf8(name), QString());
    result.offset = offset;
    result.attributeId = id;
    result.flags = AttributeFlags(flags);
    result.useCounter = (flags & ATTR_CUSTOM) != 0 ? 2 : 0;
    return result;
}

TEST(Specification, EntriesKeepOrderAndAreFoundByNameOffsetAndId) {
    Specification layout("Example");
    layout.attributes.push_back(entry("b", 16, ATTR_FIXED, 1));
    layout.attributes.push_back(entry("a", 24, ATTR_FIXED, 2));
    layout.attributes.push_back(entry("B", -7, ATTR_SERIALIZE | ATTR_CUSTOM, -7));
    auto const duplicate = layout.attributes.push_back(entry("a", 99, ATTR_FIXED, 3));
    EXPECT_FALSE(duplicate.second); // the name is taken: nothing entered

    QStringList order;
    for (AttributeSpecification const& each : layout.attributes) {
        order << each.name;
    }
    EXPECT_EQ(order, (QStringList{"b", "a", "B"}));
    EXPECT_TRUE(layout.hasAttribute("B"));
    EXPECT_FALSE(layout.hasAttribute("A")); // case-sensitive
    EXPECT_EQ(layout.findAttributeSpecification(std::string("a"))->offset, 24);
    EXPECT_EQ(layout.findAttributeSpecification("b")->humanReadableName, "b");
    EXPECT_EQ(layout.findAttributeSpecification(QStringLiteral("zz")), layout.orderedEnd());
    EXPECT_EQ(layout.findByOffset(-7)->name, "B");
    EXPECT_EQ(layout.findById(2)->name, "a");
    EXPECT_EQ(layout.findById(42), nullptr);
}

TEST(Specification, ReleasingCountsCustomEntriesDownAndRefusesFixedOnes) {
    Specification layout("Example");
    layout.attributes.push_back(entry("fixed", 16, ATTR_FIXED, 1));
    layout.attributes.push_back(entry("custom", -3, ATTR_SERIALIZE | ATTR_CUSTOM, -3));

    EXPECT_THROW(layout.removeAttribute(16), AttributeCannotBeRemovedException);
    EXPECT_EQ(layout.attributes.size(), 2u);
    layout.removeAttribute(12345); // unknown: nothing
    layout.removeAttribute(-3);
    EXPECT_EQ(layout.findAttributeSpecification("custom")->useCounter, 1);
    layout.removeAttribute(-3);
    EXPECT_FALSE(layout.hasAttribute("custom"));
    EXPECT_EQ(layout.attributes.size(), 1u);

    auto const built = layout.insert("loose", "Loose");
    EXPECT_FALSE(built.second);
    EXPECT_EQ(built.first->humanReadableName, "Loose");
    EXPECT_FALSE(layout.hasAttribute("loose"));
    delete built.first;
}

// Registers one of its two member attributes.
class Draft : public NodeClass<Draft> {
public:
    static Uuid const& getUUID() {
        static Uuid const id("{0C5E7A11-8D2B-4E3F-A6C9-7B1D2E3F4A50}");
        return id;
    }
    DataSA<AT_S_INT32> kept{this, 0, gt_none};
    DataSA<AT_S_INT32> loose{this, 0, gt_none};

protected:
    using NodeClass::NodeClass;
    void registerAttributes(Specification& layout) override {
        if (!layout.needsRegistration) {
            return;
        }
        layout.addInheritFrom(getUUID());
        registerFixedAttribute(layout, kept, ATTR_SERIALIZE, "kept", "");
        NodeClass::registerAttributes(layout);
    }
};

// A member the class never registered has no entry to find.
TEST(Specification, MemberAttributesFindTheirOwnEntry) {
    Ref<Draft> const draft = Draft::create(nullptr);
    EXPECT_EQ(draft->kept.getAttributeName(), "kept");
    EXPECT_THROW(draft->loose.getID(), UnknownAttributeException);
}

TEST(Specification, AttributesSeeChangesMadeToTheirEntry) {
    Ref<Lamp> const lamp = Lamp::create(nullptr);
    EXPECT_EQ(lamp->label.getHumanReadableName(), "label");
    auto& byName = Lamp::getClassSpecification().attributes.get<1>();
    byName.modify(byName.find(QStringLiteral("label")),
                  [](AttributeSpecification& each) { each.humanReadableName = "Caption"; });
    EXPECT_EQ(lamp->label.getHumanReadableName(), "Caption");
    lamp->label.setHumanReadableName("Caption"); // the class default: no override
    byName.modify(byName.find(QStringLiteral("label")),
                  [](AttributeSpecification& each) { each.humanReadableName = "label"; });
    EXPECT_EQ(lamp->label.getHumanReadableName(), "label");
    lamp->label.setHumanReadableName("Title");
    EXPECT_EQ(lamp->label.getHumanReadableName(), "Title");
    DataSA<AT_S_STRING> const snapshot(lamp->label); // a copy keeps the override
    lamp->label.setHumanReadableName("");
    EXPECT_EQ(lamp->label.getHumanReadableName(), "label");
    EXPECT_EQ(snapshot.getHumanReadableName(), "Title");
}

} // namespace
} // namespace Norv::Tavel::testing
