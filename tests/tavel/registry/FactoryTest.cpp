#include <tavel/nodes/CustomNode.h>
#include <tavel/registry/Factory.h>
#include <tavel/registry/Registry.h>

#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include <vector>

namespace {

using namespace Norv::Tavel;
using norv::basalt::Ref;
using norv::basalt::Uuid;

Uuid uuidOf(unsigned char first, unsigned char last = 0) {
    return Uuid(Uuid::Bytes{first, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, last});
}

// A creation function that only records that entry `tag` ran.
Factory::CreateFunction recorder(std::vector<int>& calls, int tag) {
    return [&calls, tag](boost::shared_ptr<Registry>, long long) {
        calls.push_back(tag);
        return Ref<Node>();
    };
}

Ref<Node> makeCustomNode(boost::shared_ptr<Registry> registry, long long) {
    return CustomNode::create(registry);
}

TEST(Factory, CreatesThroughTheMatchingEntryOnly) {
    auto const factory = Factory::create();
    auto const registry = boost::make_shared<Registry>();
    std::vector<int> calls;
    ASSERT_TRUE(factory->registerClass(uuidOf(0x80), "Twin", recorder(calls, 1)));
    // 0x10 sorts before 0x80 only when bytes compare unsigned.
    ASSERT_TRUE(factory->registerClass(uuidOf(0x10), "Twin", recorder(calls, 2)));
    ASSERT_TRUE(factory->registerClass(uuidOf(0x20), QString(), recorder(calls, 3)));
    ASSERT_TRUE(factory->registerClass(uuidOf(0x30), "", recorder(calls, 4)));
    factory->createByName(registry, "Twin", 0);
    factory->createByUUID(registry, uuidOf(0x80), 0);
    EXPECT_EQ((std::vector<int>{2, 1}), calls);

    // Unknown ids, other letter case, null and empty names (even of unnamed entries) match nothing.
    EXPECT_FALSE(factory->createByUUID(registry, uuidOf(0x40), 0));
    EXPECT_FALSE(factory->createByName(registry, "twin", 0));
    EXPECT_FALSE(factory->createByName(registry, QString(), 0));
    EXPECT_FALSE(factory->createByName(registry, static_cast<char const*>(nullptr), 0));
    EXPECT_FALSE(factory->canCreateName(""));
    EXPECT_TRUE(factory->getNameForUUID(uuidOf(0x40)).isNull());
    EXPECT_EQ(2u, calls.size());

    // A plain function making a real node in the given registry.
    ASSERT_TRUE(factory->registerClass(CustomNode::getUUID(), "Custom", &makeCustomNode));
    Ref<Node> const node = factory->createByName(registry, std::string("Custom"), EMPTY_NODE_ID);
    ASSERT_TRUE(node);
    EXPECT_EQ(node, registry->findNode(node->getNodeId()));
}

TEST(Factory, DefaultIsMadeOnceAndNewOnesListClassNamesInIdentifierOrder) {
    auto const standard = Factory::get();
    ASSERT_TRUE(standard);
    EXPECT_EQ(standard, Factory::get());
    auto const factory = Factory::create();
    EXPECT_NE(standard, factory);
    EXPECT_TRUE(factory->getClassNames().isEmpty());
    ASSERT_TRUE(factory->registerClass(uuidOf(0x90), "b", Factory::CreateFunction()));
    ASSERT_TRUE(factory->registerClass(uuidOf(0x05), "c", Factory::CreateFunction()));
    ASSERT_TRUE(factory->registerClass(uuidOf(0x05, 1), "a", Factory::CreateFunction()));
    EXPECT_EQ((QStringList{"c", "a", "b"}), factory->getClassNames());
}

TEST(Factory, FirstEntryForAnIdentifierStaysEvenWithoutCreationFunction) {
    auto const factory = Factory::create();
    std::vector<int> calls;
    EXPECT_TRUE(factory->registerClass(uuidOf(8), "Hollow", Factory::CreateFunction()));
    EXPECT_FALSE(factory->registerClass(uuidOf(8), "Second", recorder(calls, 1)));
    EXPECT_TRUE(factory->canCreateUUID(uuidOf(8)));
    EXPECT_THROW(factory->createByUUID(nullptr, uuidOf(8), 0), boost::bad_function_call);
    EXPECT_THROW(factory->createByName(nullptr, "Hollow", 0), boost::bad_function_call);
    EXPECT_EQ(QStringList{"Hollow"}, factory->getClassNames());
    EXPECT_TRUE(calls.empty());
}

} // namespace
