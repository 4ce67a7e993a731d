#include "support/OutputCapture.h"

#include <tavel/nodes/CustomNode.h>
#include <tavel/registry/Factory.h>
#include <tavel/registry/Registry.h>

#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <typeinfo>
#include <vector>

namespace {

using namespace Norv::Tavel;
using norv::basalt::Ref;
using Norv::Tavel::testing::CapturedOutput;

// A node class of its own with an explicit id; Tag tells the classes apart.
template <int Tag> class TaggedNode : public CustomNode {
public:
    TaggedNode(boost::shared_ptr<Registry> registry, long long id)
        : CustomNode(registry, classLayout(), id) {
        registerAttributes(classLayout());
    }
    static norv::basalt::Uuid getUUID() {
        return norv::basalt::Uuid(norv::basalt::Uuid::Bytes{0xA7, 0x3C, Tag});
    }

protected:
    void registerAttributes(Specification& layout) override {
        if (layout.needsRegistration) {
            layout.addInheritFrom(getUUID());
            CustomNode::registerAttributes(layout);
        }
    }
    static Specification& classLayout() {
        static Specification layout(typeid(TaggedNode).name());
        return layout;
    }
};

template <class Function> void onOtherThread(Function function) {
    std::thread(function).join();
}

TEST(Registry, ThreadBindingChangesOnlyFromTheBoundThreadOrWhenUnbound) {
    auto const registry = boost::make_shared<Registry>();
    EXPECT_TRUE(registry->isCurrent());
    EXPECT_FALSE(registry->makeCurrent());
    onOtherThread([&] {
        EXPECT_FALSE(registry->isCurrent());
        EXPECT_FALSE(registry->makeCurrent());
        EXPECT_FALSE(registry->removeCurrent());
    });
    EXPECT_TRUE(registry->isCurrent());
    EXPECT_TRUE(registry->removeCurrent());
    EXPECT_TRUE(registry->removeCurrent());
    EXPECT_FALSE(registry->isCurrent());

    // Handed over: the other thread binds it, so this one may neither bind nor unbind it.
    onOtherThread([&] { EXPECT_TRUE(registry->makeCurrent() && registry->isCurrent()); });
    EXPECT_FALSE(registry->isCurrent());
    EXPECT_FALSE(registry->makeCurrent());
    EXPECT_FALSE(registry->removeCurrent());

    boost::shared_ptr<Registry> made;
    onOtherThread([&] { made = boost::make_shared<Registry>(); });
    EXPECT_FALSE(made->isCurrent());
}

TEST(Registry, LinksAreCountedPerRegistryAndKindDownToErase) {
    auto const registry = boost::make_shared<Registry>();
    auto const other = boost::make_shared<Registry>();
    registry->addDependingRegistry(*other);
    registry->addDependingRegistry(*other);
    registry->addSuperiorRegistry(*other);
    registry->removeDependingRegistry(*other);
    EXPECT_EQ(1, registry->getDependingRegistryCount(*other));
    EXPECT_EQ(1, registry->getSuperiorRegistryCount(*other));
    EXPECT_EQ(0, other->getSuperiorRegistryCount(*registry));

    // Removing past zero is ignored, so a later link counts from one again.
    for (int i = 0; i < 3; ++i)
        registry->removeDependingRegistry(*other);
    EXPECT_EQ(0, registry->getDependingRegistryCount(*other));
    registry->addDependingRegistry(*other);
    EXPECT_EQ(1, registry->getDependingRegistryCount(*other));
    EXPECT_EQ(1, registry->getSuperiorRegistryCount(*other));
}

TEST(Registry, RegistryMadeWhereAGoneOneWasInheritsNoLinkCount) {
    auto const registry = boost::make_shared<Registry>();
    // Storage of the test's own, so the successor surely takes the same address.
    alignas(Registry) unsigned char storage[sizeof(Registry)];
    auto* const gone = new (storage) Registry;
    registry->addDependingRegistry(*gone);
    registry->addSuperiorRegistry(*gone);
    gone->~Registry();
    auto* const successor = new (storage) Registry;
    EXPECT_EQ(0, registry->getDependingRegistryCount(*successor));
    EXPECT_EQ(0, registry->getSuperiorRegistryCount(*successor));
    successor->~Registry();
}

TEST(Registry, FirstNodeOfAnIdStaysUntilItLeavesOrIsBeingDestroyed) {
    auto const registry = boost::make_shared<Registry>();
    Ref<Node> const first(new TaggedNode<1>(registry, 42));
    Ref<Node> const second(new TaggedNode<1>(registry, 42));
    EXPECT_EQ(first, registry->findNode(42));
    EXPECT_FALSE(boost::make_shared<Registry>()->findNode(42));
    EXPECT_FALSE(registry->findNode(EMPTY_NODE_ID));

    registry->unregisterNode(*second);
    EXPECT_EQ(first, registry->findNode(42));
    registry->unregisterNode(42);
    EXPECT_FALSE(registry->findNode(42));
    EXPECT_EQ(0u, registry->getNumberOfNodes());

    // Nor is a node being destroyed found.
    bool found = true;
    Ref<Node> dying = CustomNode::create(registry);
    dying->subscribeForNodeChangeNotification(
        [&](ChangeAction action, Node const& node, boost::optional<Attribute const&>) {
            if (action == CA_NODE_DESTROYED) {
                found = bool(registry->findNode(node.getNodeId()));
            }
        });
    dying.reset();
    EXPECT_FALSE(found);
}

TEST(Registry, DestructionReportsDanglingNodesByIdWithDefaultFactoryNames) {
    Factory::get()->registerClass(TaggedNode<2>::getUUID(), "Known", Factory::CreateFunction());
    CapturedOutput const capture;
    std::vector<std::u16string> const& texts = capture.texts;
    boost::make_shared<Registry>().reset();
    EXPECT_TRUE(texts.empty());

    auto registry = boost::make_shared<Registry>();
    EXPECT_EQ(Factory::get(), registry->getFactory());
    Ref<Node> const unknown(new TaggedNode<3>(registry, 5));
    Ref<Node> const known(new TaggedNode<2>(registry, 3));
    // The link does not keep the factory: this one is gone at once.
    registry->setFactory(Factory::create());
    EXPECT_FALSE(registry->getFactory());
    registry.reset();
    EXPECT_EQ((std::vector<std::u16string>{u"Dangling nodes:\n", u"Known", u""}), texts);
    EXPECT_FALSE(unknown->getRegistry());
}

TEST(Registry, FailingReportDoesNotStopDestruction) {
    CapturedOutput const failing(
        [](std::u16string const&) { throw std::runtime_error("channel closed"); });
    auto registry = boost::make_shared<Registry>();
    Ref<Node> const node = CustomNode::create(registry);
    EXPECT_NO_THROW(registry.reset());
    EXPECT_FALSE(node->getRegistry());
}

} // namespace
