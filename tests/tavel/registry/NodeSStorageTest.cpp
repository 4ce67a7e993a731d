#include "support/StorageTestSupport.h"

#include <gtest/gtest.h>

namespace Norv::Tavel::testing {
namespace {

// Its registration always fails, so every node of it fails to be made.
class Unregistrable : public Mesh {
public:
    Unregistrable(boost::shared_ptr<Registry> registry, SharedStorage* body, InstanceStorage* slot)
        : Mesh(std::move(registry), body, slot, layout()) {}

protected:
    static Specification& layout() {
        static Specification layout("Unregistrable");
        return layout;
    }
    void registerAttributes(Specification& layout) override {
        registerFixedAttribute(layout, colour, 0, "", "");
    }
};

Ref<Node> instanceOf(Node& node) {
    return node.getInstancePtr();
}

// Live storages and nodes, to check that nothing is left behind.
std::vector<std::uint64_t> live() {
    return {Registry::SHARED_STORAGE_COUNTER, Registry::INSTANCE_STORAGE_COUNTER,
            Registry::INSTANCE_COUNTER};
}

TEST(SharedStorage, DrawsIdsAndCountsStoragesButCopiesNoOwner) {
    auto const before = live();
    {
        Body first, second, named(nullptr, 42), third;
        EXPECT_EQ(first.getSharedNodeId() + 1, second.getSharedNodeId());
        EXPECT_EQ(42, named.getSharedNodeId());
        EXPECT_EQ(second.getSharedNodeId() + 1, third.getSharedNodeId());
        EXPECT_EQ(before[0] + 4, Registry::SHARED_STORAGE_COUNTER);

        Ref<Mesh> const mesh = Mesh::create(nullptr, new Body, new Slot);
        Slot copy(mesh->slot());
        EXPECT_EQ(nullptr, copy.getNode());
        EXPECT_EQ(before[1] + 2, Registry::INSTANCE_STORAGE_COUNTER);
        // Assignment carries data only: each storage keeps claiming its own node.
        mesh->slot() = Slot();
        EXPECT_EQ(mesh.get(), mesh->slot().getNode());
        copy = mesh->slot();
        EXPECT_EQ(nullptr, copy.getNode());
        EXPECT_TRUE(mesh->isDerivedFrom(NodeSStorage::getUUID()));
    }
    EXPECT_EQ(before, live());
}

TEST(NodeSStorage, SumsStrongReferencesAndLivesUntilItsLastNodeGoes) {
    StorageLog log;
    auto const before = live();
    auto* const body = new Body(&log);
    Ref<Mesh> a = Mesh::create(nullptr, body, new Slot("a", &log));
    Ref<Mesh> a2 = a;
    Ref<Mesh> b = Mesh::create(nullptr, body, new Slot("b", &log));
    Ref<Node> b2 = b, b3 = b;
    EXPECT_EQ(5, body->getRefCount());
    EXPECT_EQ(body->getSharedNodeId(), b->getSharedNodeId());
    EXPECT_EQ(2u, body->getNodeRefList().size());
    EXPECT_EQ(std::min(a.get(), b.get()), *body->getNodeRefList().begin());

    a.reset();
    a2.reset();
    EXPECT_EQ((StorageLog{"a"}), log);
    EXPECT_EQ(3, body->getRefCount());
    EXPECT_EQ(1u, body->getNodeRefList().size());
    b.reset();
    b2.reset();
    b3.reset();
    // The body goes first, then the instance storage.
    EXPECT_EQ((StorageLog{"a", "body", "b"}), log);
    EXPECT_EQ(before, live());
}

TEST(NodeSStorage, BodyStaysWhileANodeStillListsIt) {
    StorageLog log;
    {
        SCOPED_TRACE("both released by a list being destroyed: they end one after the other");
        auto* const body = new Body(&log);
        CustomNode::create(nullptr)
            ->registerAttribute("meshes", AT_M_NODE_PTR)
            .setGeneric(AttributeValue(
                std::vector<NodeRef>{Mesh::create(nullptr, body, new Slot("a", &log)),
                                     Mesh::create(nullptr, body, new Slot("b", &log))}));
        ASSERT_EQ(3u, log.size());
        EXPECT_EQ("body", log[1]);
    }
    SCOPED_TRACE("one node held only by the notification that drops it, the other destroyed");
    log.clear();
    auto* const body = new Body(&log);
    Ref<Mesh> a = Mesh::create(nullptr, body, new Slot("a", &log));
    Ref<Mesh> b = Mesh::create(nullptr, body, new Slot("b", &log));
    auto const connection = a->subscribeForNodeChangeNotification(
        [&](ChangeAction action, Node const&, boost::optional<Attribute const&>) {
            if (action != CA_VALUE_CHANGED) {
                return;
            }
            a.reset();
            b.reset();
            EXPECT_EQ((StorageLog{"b"}), log);
            EXPECT_EQ(a.get(), nullptr);
        });
    a->colour.set(7);
    EXPECT_EQ((StorageLog{"b", "body", "a"}), log);
}

TEST(NodeSStorage, InstancePtrIsTheNodeUntilReferencedThenAWholeNewInstance) {
    StorageLog log;
    auto const before = live();
    {
        auto* const body = new Body(&log);
        Ref<Mesh> mesh = Mesh::create(nullptr, body, new Slot("a", &log));
        mesh->slot().colour = 3;
        EXPECT_EQ(mesh, instanceOf(*mesh));

        Ref<CustomNode> const scene = CustomNode::create(nullptr);
        Attribute& link = scene->registerAttribute("mesh", AT_S_NODE_PTR);
        link.setGeneric(AttributeValue(NodeRef(mesh)));
        Ref<Mesh> const second = norv::basalt::dynamic_ref_cast<Mesh>(instanceOf(*mesh));
        ASSERT_TRUE(second);
        EXPECT_EQ(body, second->getSharedStorage());
        EXPECT_EQ("a'", second->slot().name);
        EXPECT_EQ(&mesh->slot(), second->slot().copiedFrom);
        EXPECT_EQ(3, second->slot().colour);

        SCOPED_TRACE("failed or empty hooks leave nothing behind");
        auto const made = live();
        mesh->makeNone = true;
        EXPECT_FALSE(instanceOf(*mesh));
        mesh->makeNone = false;
        mesh->beforeCreate = [] { throw NotSupported(""); };
        EXPECT_THROW(instanceOf(*mesh), NotSupported);
        mesh->beforeCreate = [&] { mesh->slot().failCopy = true; };
        EXPECT_THROW(instanceOf(*mesh), InvalidOperationException);
        mesh->slot().failCopy = false;
        EXPECT_EQ(made, live());
        EXPECT_EQ(2u, body->getNodeRefList().size());
        EXPECT_EQ(3, body->getRefCount());
        EXPECT_EQ((StorageLog{"a'"}), log);

        SCOPED_TRACE("the hook drops the last reference to the asking node");
        log.clear();
        Mesh* const held = mesh.get();
        mesh.reset();
        held->beforeCreate = [&] { link.setGeneric(AttributeValue(NodeRef())); };
        Ref<Node> const third = instanceOf(*held);
        EXPECT_EQ((StorageLog{"a"}), log);
        EXPECT_EQ(3, static_cast<Mesh&>(*third).slot().colour);
    }
    EXPECT_EQ(before, live());
}

TEST(NodeSStorage, FailedConstructionReleasesItsStoragesAsDestructionWould) {
    auto const before = live();
    EXPECT_THROW(Mesh::create(nullptr, nullptr, new Slot), InvalidOperationException);
    {
        Ref<Mesh> const mesh = Mesh::create(nullptr, new Body, new Slot);
        auto const during = live();
        // A storage of another node is refused and stays with its node.
        EXPECT_THROW(Mesh::create(nullptr, mesh->getSharedStorage(), &mesh->slot()),
                     InvalidOperationException);
        EXPECT_EQ(mesh.get(), mesh->slot().getNode());
        for (bool const inConstructor : {true, false}) {
            SCOPED_TRACE(inConstructor ? "constructor throws" : "registration throws");
            Mesh::failConstruction = inConstructor;
            auto const make = [inConstructor](SharedStorage* body, InstanceStorage* slot) {
                return inConstructor ? Mesh::create(nullptr, body, slot)
                                     : Ref<Mesh>(Mesh::create<Unregistrable>(nullptr, body, slot));
            };
            EXPECT_ANY_THROW(make(mesh->getSharedStorage(), new Slot));
            EXPECT_ANY_THROW(make(new Body, new Slot));
            Mesh::failConstruction = false;
            EXPECT_EQ(during, live());
            EXPECT_EQ(1u, mesh->getSharedStorage()->getNodeRefList().size());
            EXPECT_EQ(1, mesh->getSharedStorage()->getRefCount());
        }
    }
    EXPECT_EQ(before, live());
}

} // namespace
} // namespace Norv::Tavel::testing
