#include "support/NodeTestSupport.h"

#include <tavel/attributes/DataSANode.h>
#include <tavel/types/Exceptions.h>

#include <gtest/gtest.h>

namespace Norv::Tavel::testing {
namespace {

TEST(NodeIdentity, IdsComeFromTheCounterUnlessGiven) {
    Ref<Node> const first = CustomNode::create(nullptr);
    Ref<Node> const fixed = Lamp::create(nullptr, 42);
    Ref<Node> const second = CustomNode::create(nullptr);
    EXPECT_EQ(42, fixed->getNodeId());
    EXPECT_EQ(first->getNodeId() + 1, second->getNodeId());
}

TEST(NodeRegistry, NodeJoinsAndLeavesWithoutTouchingOthersOrADeadRegistry) {
    auto const registry = boost::make_shared<Registry>();
    auto const live = Registry::INSTANCE_COUNTER;
    Ref<Node> const first = Lamp::create(registry, 7);
    Ref<Node> twin = Lamp::create(registry, 7);
    EXPECT_EQ(live + 2, Registry::INSTANCE_COUNTER);
    EXPECT_EQ(registry, twin->getRegistry());

    // The twin never got the entry and must not take it with it.
    twin->setRegistry(boost::make_shared<Registry>());
    twin.reset();
    EXPECT_EQ(first, registry->findNode(7));
    EXPECT_EQ(live + 1, Registry::INSTANCE_COUNTER);

    auto orphanRegistry = boost::make_shared<Registry>();
    Ref<Node> orphan = CustomNode::create(orphanRegistry);
    orphanRegistry.reset();
    EXPECT_FALSE(orphan->getRegistry());
    orphan.reset(); // leaving a destroyed registry does nothing
}

TEST(CustomAttributes, BadRegistrationsChangeNothing) {
    Log log;
    Ref<Lamp> const lamp = Lamp::create(nullptr);
    lamp->registerAttribute("gain", AT_S_FLOAT);
    log.watch(*lamp, "lamp");
    Specification const& layout = lamp->getSpecification();
    auto const entries = layout.attributes.size();
    auto const incarnation = lamp->getInstanceIncarnation();

    EXPECT_THROW(lamp->registerAttribute("", AT_S_FLOAT), InvalidAttributeNameException);
    EXPECT_THROW(lamp->registerAttribute("9lives", AT_S_FLOAT), InvalidAttributeNameException);
    EXPECT_THROW(lamp->registerAttribute("intensity", AT_S_FLOAT), AttributeExistsException);
    EXPECT_THROW(lamp->registerAttribute("gain", AT_S_INT32), AttributeExistsException);
    EXPECT_THROW(lamp->registerAttribute("odd", AttributeType(99)), NotSupported);

    EXPECT_EQ(entries, layout.attributes.size());
    EXPECT_EQ(1, layout.findAttributeSpecification("gain")->useCounter);
    EXPECT_EQ(incarnation, lamp->getInstanceIncarnation());
    EXPECT_TRUE(log.lines.empty());

    EXPECT_THROW(lamp->removeAttribute(""), InvalidAttributeNameException);
    EXPECT_THROW(lamp->removeAttribute("nothing"), UnknownAttributeException);
    EXPECT_THROW(lamp->removeAttribute("label"), AttributeCannotBeRemovedException);
}

TEST(CustomAttributes, SharedEntryCountsEveryCarrier) {
    Log log;
    Ref<Node> const a = CustomNode::create(nullptr);
    Ref<Node> b = CustomNode::create(nullptr);
    Specification const& layout = a->getSpecification();
    Attribute& ofA = a->registerAttribute("weight", AT_S_FLOAT);
    Attribute& ofB = b->registerAttribute(std::string("weight"), AT_S_FLOAT);
    a->registerAttribute("later", AT_S_BOOL);
    auto const entry = layout.findAttributeSpecification("weight");
    EXPECT_EQ(2, entry->useCounter);
    EXPECT_NE(&ofA, &ofB);
    EXPECT_EQ(ofA.getID(), ofB.getID());
    EXPECT_LT(ofA.getID(), 0);

    log.watch(*a, "a");
    b->removeAttribute("later"); // carried by a only: nothing happens
    EXPECT_TRUE(log.lines.empty());
    EXPECT_TRUE(a->getAttribute("later"));

    long long const oldKey = ofA.getID();
    a->removeAttribute("weight");
    EXPECT_EQ(1, entry->useCounter);
    b.reset(); // the last carrier goes, and the entry with it
    EXPECT_FALSE(layout.hasAttribute("weight"));

    Attribute& again = a->registerAttribute("weight", AT_S_FLOAT);
    EXPECT_NE(oldKey, again.getID());
    EXPECT_EQ("weight", layout.attributes.back().name);
}

TEST(AttributeLookup, FindsByEveryNameFormAndById) {
    Ref<Lamp> const lamp = Lamp::create(nullptr);
    Attribute& size = lamp->registerAttribute(u8"gr\u00f6\u00dfe", AT_S_FLOAT);
    EXPECT_EQ(&size, lamp->getAttribute(u8"gr\u00f6\u00dfe").get_ptr());
    EXPECT_EQ(&size, lamp->getAttribute(QStringLiteral(u"gr\u00f6\u00dfe")).get_ptr());
    EXPECT_EQ(&lamp->label, lamp->getAttribute(std::string("label")).get_ptr());
    EXPECT_FALSE(lamp->getAttribute("missing"));
    EXPECT_THROW(lamp->getAttribute(""), InvalidAttributeNameException);

    EXPECT_FALSE(lamp->getAttributeByID(0));
    EXPECT_EQ(&lamp->intensity, lamp->getAttributeByID(1).get_ptr());
    EXPECT_EQ(&lamp->seed, lamp->getAttributeByID(3).get_ptr());
    EXPECT_FALSE(lamp->getAttributeByID(4));
    EXPECT_EQ(&size, lamp->getAttributeByID(size.getID()).get_ptr());
    EXPECT_FALSE(lamp->getAttributeByID(size.getID() + 1));
    EXPECT_EQ(4u, lamp->calculateNumberOfAttributes());
    EXPECT_EQ("seed", lamp->seed.getAttributeName());
}

TEST(CustomAttributes, AttributeKeptByAHolderIsLeftWithoutOwner) {
    Ref<Lamp> lamp = Lamp::create(nullptr);
    std::vector<boost::shared_ptr<Attribute>> kept;
    for (char const* name : {"removed", "cleared"}) {
        kept.push_back(
            lamp->getCustomAttributePointer(lamp->registerAttribute(name, AT_S_FLOAT).getID()));
    }
    lamp->removeAttribute("removed");
    lamp->removeAllAttributes();
    lamp.reset();
    for (auto const& attribute : kept) {
        EXPECT_FALSE(attribute->hasOwner());
        EXPECT_THROW(attribute->getAttributeName(), UnknownAttributeException);
        setFloat(*attribute, 5.0f); // reaches no node
        EXPECT_EQ(5.0f, *attribute->getGeneric().get<float>());
    }
}

TEST(NodeDestruction, OperationsOnADyingNodeAreRefused) {
    Ref<Node> node = CustomNode::create(nullptr);
    Attribute& value = node->registerAttribute("value", AT_S_FLOAT);
    int checked = 0;
    node->subscribeForNodeChangeNotification([&](ChangeAction, Node const& dying, auto&&) {
        Node& self = const_cast<Node&>(dying);
        EXPECT_THROW(self.registerAttribute("more", AT_S_FLOAT), InvalidOperationException);
        EXPECT_THROW(self.removeAttribute("value"), InvalidOperationException);
        EXPECT_THROW(self.subscribeForHierachicalChangeNotification([](auto&&...) {}),
                     InvalidOperationException);
        EXPECT_THROW(self.setRegistry(boost::make_shared<Registry>()), InvalidOperationException);
        setFloat(value, 3.0f); // accepted, and reported to nobody
        ++checked;
    });
    node.reset();
    EXPECT_EQ(1, checked);
}

} // namespace
} // namespace Norv::Tavel::testing
