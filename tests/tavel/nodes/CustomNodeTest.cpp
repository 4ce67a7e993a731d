#include "support/NodeTestSupport.h"

#include <tavel/registry/Factory.h>
#include <tavel/types/Exceptions.h>

#include <gtest/gtest.h>

namespace Norv::Tavel::testing {
namespace {

TEST(CustomNode, IdentityAndInstancesFollowTheClass) {
    auto const registry = boost::make_shared<Registry>();
    Ref<Node> const node = CustomNode::create(registry);
    CustomNode::create(nullptr);
    EXPECT_EQ(CustomNode::getUUID(), node->getClsId());
    EXPECT_EQ(Uuid("{40DD2DFE-B43C-4d28-9679-74C53D7E6F04}"), CustomNode::getUUID());
    EXPECT_TRUE(node->isDerivedFrom(Uuid("{92F11271-E81E-4945-B01D-40134F3A3C5D}")));
    EXPECT_FALSE(node->isDerivedFrom(Lamp::getUUID()));
    EXPECT_EQ(2u, CustomNode::getClassSpecification().inheritFrom.size());

    node->registerAttribute("notCopied", AT_S_BOOL);
    Ref<Node> const instance = node->createInstance(nullptr);
    EXPECT_EQ(registry, instance->getRegistry());
    EXPECT_EQ(0u, instance->calculateNumberOfAttributes());
    EXPECT_FALSE(CustomNode::create(nullptr)->createInstance(nullptr)->getRegistry());
}

TEST(NodeClass, HostClassRegistersItsFixedAttributesOnceAndEntersTheFactory) {
    auto const factory = Factory::create();
    ASSERT_TRUE(Lamp::registerInFactory("Lamp", factory));
    EXPECT_FALSE(Lamp::registerInFactory("Lamp", factory));
    auto const registry = boost::make_shared<Registry>();
    Ref<Node> const made = factory->createByName(registry, "Lamp", 77);

    ASSERT_TRUE(made);
    EXPECT_EQ(made, registry->findNode(77));
    EXPECT_EQ(Lamp::getUUID(), made->getClsId());
    Specification const& layout = Lamp::getClassSpecification();
    EXPECT_EQ(3u, layout.attributes.size());
    EXPECT_EQ(2u, layout.inheritFrom.size());
    auto const label = layout.findAttributeSpecification("label");
    EXPECT_EQ(2, label->attributeId);
    EXPECT_EQ(AttributeFlags(ATTR_SERIALIZE | ATTR_CUSTOM_SERIALIZE | ATTR_FIXED), label->flags);
    EXPECT_EQ(AT_S_STRING, label->type);

    Ref<Node> const instance = made->createInstance(nullptr);
    EXPECT_EQ(registry, instance->getRegistry());
    EXPECT_EQ(Lamp::getUUID(), instance->getClsId());
}

// Registers one good attribute, then an attribute of no node, which is refused.
class FaultyNode : public NodeClass<FaultyNode> {
public:
    static Uuid const& getUUID() { return Node::getUUID(); }
    DataSA<AT_S_BOOL> flag{this, false, gt_none};
    DataSA<AT_S_BOOL> stranger{nullptr, false, gt_none};

protected:
    using NodeClass::NodeClass;
    void registerAttributes(Specification& layout) override {
        registerFixedAttribute(layout, flag, 0, "flag", "");
        registerFixedAttribute(layout, stranger, 0, "stranger", "");
    }
};

TEST(NodeClass, FailedRegistrationLeavesTheSpecificationAsItWas) {
    auto const live = Registry::INSTANCE_COUNTER;
    EXPECT_THROW(FaultyNode::create(nullptr), UnknownAttributeException);
    EXPECT_TRUE(FaultyNode::getClassSpecification().attributes.empty());
    EXPECT_TRUE(FaultyNode::getClassSpecification().needsRegistration);
    EXPECT_EQ(live, Registry::INSTANCE_COUNTER);
}

} // namespace
} // namespace Norv::Tavel::testing
