#include "tavel/nodes/NodeTestSupport.h"

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
    Specification const& specification = lamp->getSpecification();
    auto const entries = specification.attributes.size();
    auto const incarnation = lamp->getInstanceIncarnation();

    EXPECT_THROW(lamp->registerAttribute("", AT_S_FLOAT), InvalidAttributeNameException);
    EXPECT_THROW(lamp->registerAttribute("9lives", AT_S_FLOAT), InvalidAttributeNameException);
    EXPECT_THROW(lamp->registerAttribute("intensity", AT_S_FLOAT), AttributeExistsException);
    EXPECT_THROW(lamp->registerAttribute("gain", AT_S_INT32), AttributeExistsException);
    EXPECT_THROW(lamp->registerAttribute("odd", AttributeType(99)), NotSupported);

    EXPECT_EQ(entries, specification.attributes.size());
    EXPECT_EQ(1, specification.findAttributeSpecification("gain")->useCounter);
    EXPECT_EQ(incarnation, lamp->getInstanceIncarnation());
    EXPECT_TRUE(log.lines.empty());

    EXPECT_THROW(lamp->removeAttribute(""), InvalidAttributeNameException);
    EXPECT_THROW(lamp->removeAttribute("nothing"), UnknownAttributeException);
    EXPECT_THROW(lamp->removeAttribute("label"), AttributeCannotBeRemovedException);
    EXPECT_TRUE(lamp->getAttribute("gain"));
}

TEST(CustomAttributes, SharedEntryCountsEveryCarrier) {
    Log log;
    Ref<Node> const a = CustomNode::create(nullptr);
    Ref<Node> b = CustomNode::create(nullptr);
    Specification const& specification = a->getSpecification();
    Attribute& ofA = a->registerAttribute("weight", AT_S_FLOAT);
    Attribute& ofB = b->registerAttribute(std::string("weight"), AT_S_FLOAT);
    a->registerAttribute("later", AT_S_BOOL);
    auto const entry = specification.findAttributeSpecification("weight");
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
    EXPECT_FALSE(specification.hasAttribute("weight"));

    Attribute& again = a->registerAttribute("weight", AT_S_FLOAT);
    EXPECT_NE(oldKey, again.getID());
    EXPECT_EQ("weight", specification.attributes.back().name);
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
    EXPECT_EQ(3u, Lamp::create(nullptr)->calculateNumberOfAttributes());

    EXPECT_EQ("seed", lamp->seed.getAttributeName());
    EXPECT_EQ("Intensity", lamp->intensity.getHumanReadableName());
    EXPECT_TRUE(lamp->seed.isInstanceData());
    EXPECT_TRUE(size.isCustom());
}

TEST(CustomAttributes, AttributeKeptByAHolderIsLeftWithoutOwner) {
    Log log;
    Ref<Lamp> lamp = Lamp::create(nullptr);
    lamp->registerAttribute("kept", AT_S_FLOAT);
    lamp->registerAttribute("kept2", AT_S_FLOAT);
    auto const kept = lamp->getCustomAttributePointer(lamp->getAttribute("kept")->getID());
    auto const kept2 = lamp->getCustomAttributePointer(lamp->getAttribute("kept2")->getID());
    log.watch(*lamp, "lamp");
    lamp->removeAttribute("kept");
    lamp->removeAllAttributes();
    EXPECT_EQ(3u, lamp->calculateNumberOfAttributes());
    log.take();

    for (auto const& attribute : {kept, kept2}) {
        EXPECT_FALSE(attribute->hasOwner());
        EXPECT_THROW(attribute->getAttributeName(), UnknownAttributeException);
        setFloat(*attribute, 5.0f);
        EXPECT_EQ(5.0f, *attribute->getGeneric().get<float>());
    }
    lamp.reset();
    EXPECT_EQ(Lines{"lamp 10 -"}, log.lines);
}

TEST(CustomAttributes, RemovedReferenceLeavesNoOwnerLinkBehind) {
    Log log;
    Ref<Node> const parent = CustomNode::create(nullptr);
    Ref<Lamp> const child = Lamp::create(nullptr);
    parent->registerAttribute("link", AT_S_NODE_PTR).setGeneric(AttributeValue(NodeRef(child)));
    log.watchHierarchy(*parent, "parent");
    child->seed.set(1);
    parent->removeAttribute("link");
    child->seed.set(2); // must not reach the removed attribute
    EXPECT_EQ((Lines{"parent h seed", "parent h - s"}), log.lines);
}

TEST(NodeDestruction, OperationsOnADyingNodeAreRefused) {
    Ref<Node> node = CustomNode::create(nullptr);
    Attribute& value = node->registerAttribute("value", AT_S_FLOAT);
    int refused = 0;
    node->subscribeForNodeChangeNotification(
        [&](ChangeAction action, Node const& dying, boost::optional<Attribute const&>) {
            ASSERT_EQ(CA_NODE_DESTROYED, action);
            Node& self = const_cast<Node&>(dying);
            for (auto const& attempt : std::vector<std::function<void()>>{
                     [&] { self.registerAttribute("more", AT_S_FLOAT); },
                     [&] { self.removeAttribute("value"); },
                     [&] { self.subscribeForHierachicalChangeNotification([](auto&&...) {}); },
                     [&] { self.setRegistry(boost::make_shared<Registry>()); }}) {
                EXPECT_THROW(attempt(), InvalidOperationException);
                ++refused;
            }
            setFloat(value, 3.0f); // silently accepted, nothing reported
        });
    node.reset();
    EXPECT_EQ(4, refused);
}

} // namespace
} // namespace Norv::Tavel::testing
