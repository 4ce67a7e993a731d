#include <tavel/attributes/DataSA.h>
#include <tavel/nodes/CustomNode.h>
#include <tavel/registry/NodeSStorage.h>
#include <tavel/types/Exceptions.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using namespace Norv::Tavel;
using norv::basalt::Ref;
using norv::basalt::Uuid;
using Log = std::vector<std::string>;

// Host storages that log their end.
struct Body : SharedStorage {
    explicit Body(Log* log = nullptr, long long id = 0) : SharedStorage(id), log(log) {}
    ~Body() override {
        if (log != nullptr) {
            log->push_back("body");
        }
    }
    Log* log;
};

struct Slot : InstanceStorage {
    explicit Slot(std::string name = "slot", Log* log = nullptr)
        : name(std::move(name)), log(log) {}
    ~Slot() override {
        if (log != nullptr) {
            log->push_back(name);
        }
    }
    void copyChildInstances(InstanceStorage* source) override {
        copiedFrom = source;
        if (failCopy) {
            throw InvalidOperationException("");
        }
        colour = static_cast<Slot*>(source)->colour;
    }
    std::string name;
    Log* log;
    int colour = 0;
    InstanceStorage* copiedFrom = nullptr;
    bool failCopy = false;
};

// A host instancing class. While `failConstruction` is set its constructor
// throws after the node has entered its body.
class Mesh : public NodeSStorage {
public:
    static inline bool failConstruction = false;

    Mesh(SharedStorage* body, InstanceStorage* slot, Specification& layout = classLayout())
        : NodeSStorage(nullptr, layout, body, slot, EMPTY_NODE_ID) {
        if (failConstruction) {
            throw InvalidOperationException("");
        }
    }
    static Uuid const& getUUID() {
        static Uuid const id("{5A0E3C1B-2D4F-4B6A-8C9E-7F1A2B3C4D5E}");
        return id;
    }
    template <class T = Mesh> static Ref<T> create(SharedStorage* body, InstanceStorage* slot) {
        Ref<T> mesh(new T(body, slot));
        mesh->registerClassOnce();
        return mesh;
    }
    Ref<Node> createInstance(boost::shared_ptr<Registry>) override {
        return create(new Body, new Slot);
    }
    Ref<NodeSStorage> createSharedInstance(SharedStorage* body, InstanceStorage* slot) override {
        calls.push_back({body, slot});
        if (beforeCreate) {
            beforeCreate();
        }
        if (makeNone) {
            return nullptr;
        }
        auto* const source = static_cast<Slot*>(slot);
        auto* const own = new Slot(source->name + "'", source->log);
        own->failCopy = source->failCopy;
        return create(body, own);
    }
    Slot& slot() const { return *static_cast<Slot*>(getInstanceStorage()); }

    DataSA<AT_S_INT32> colour{this, 0, gt_none};
    std::vector<std::pair<SharedStorage*, InstanceStorage*>> calls;
    std::function<void()> beforeCreate;
    bool makeNone = false;

protected:
    static Specification& classLayout() {
        static Specification layout("Mesh");
        return layout;
    }
    void registerAttributes(Specification& layout) override {
        if (!layout.needsRegistration) {
            return;
        }
        layout.addInheritFrom(getUUID());
        registerFixedAttribute(layout, colour, ATTR_INSTANCE_DATA, "colour", "");
        NodeSStorage::registerAttributes(layout);
    }
};

// A class whose registration always fails, so its every node fails to be made.
class Unregistrable : public Mesh {
public:
    Unregistrable(SharedStorage* body, InstanceStorage* slot) : Mesh(body, slot, layout()) {}

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

// Live storages and nodes, to check that a failure left nothing behind.
std::vector<std::uint64_t> live() {
    return {Registry::SHARED_STORAGE_COUNTER, Registry::INSTANCE_STORAGE_COUNTER,
            Registry::INSTANCE_COUNTER};
}

TEST(SharedStorage, DrawsIdsAndCountsStoragesButCopiesNoOwner) {
    auto const before = live();
    {
        Body first, second, named(nullptr, 42);
        Body third;
        EXPECT_EQ(first.getSharedNodeId() + 1, second.getSharedNodeId());
        EXPECT_EQ(42, named.getSharedNodeId());
        EXPECT_EQ(second.getSharedNodeId() + 1, third.getSharedNodeId());
        EXPECT_EQ(before[0] + 4, Registry::SHARED_STORAGE_COUNTER);

        Ref<Mesh> const mesh = Mesh::create(new Body, new Slot);
        Slot copy(mesh->slot());
        EXPECT_EQ(nullptr, copy.getNode());
        EXPECT_EQ(before[1] + 2, Registry::INSTANCE_STORAGE_COUNTER);
        // Assignment carries data only: each storage keeps claiming its own node.
        mesh->slot() = Slot();
        EXPECT_EQ(mesh.get(), mesh->slot().getNode());
        copy = mesh->slot();
        EXPECT_EQ(nullptr, copy.getNode());

        EXPECT_EQ(NodeSStorage::getUUID(), Uuid("{668E1D88-8DA0-4b99-BF91-47D61FE23BBC}"));
        EXPECT_EQ(Mesh::getUUID(), mesh->getClsId());
        EXPECT_TRUE(mesh->isDerivedFrom(NodeSStorage::getUUID()));
        EXPECT_TRUE(mesh->isDerivedFrom(Node::getUUID()));
    }
    EXPECT_EQ(before, live());
}

TEST(NodeSStorage, SumsStrongReferencesAndLivesUntilItsLastNodeGoes) {
    Log log;
    auto const before = live();
    auto* const body = new Body(&log);
    Ref<Mesh> a = Mesh::create(body, new Slot("a", &log));
    Ref<Mesh> a2 = a;
    Ref<Mesh> b = Mesh::create(body, new Slot("b", &log));
    Ref<Node> b2 = b, b3 = b;
    EXPECT_EQ(5, body->getRefCount());
    EXPECT_EQ(body->getSharedNodeId(), b->getSharedNodeId());
    EXPECT_EQ(2u, body->getNodeRefList().size());
    EXPECT_EQ(std::min(a.get(), b.get()), *body->getNodeRefList().begin());

    a.reset();
    a2.reset();
    EXPECT_EQ((Log{"a"}), log);
    EXPECT_EQ(3, body->getRefCount());
    EXPECT_EQ(1u, body->getNodeRefList().size());
    b.reset();
    b2.reset();
    b3.reset();
    // The body goes first, then the instance storage.
    EXPECT_EQ((Log{"a", "body", "b"}), log);
    EXPECT_EQ(before, live());
}

TEST(NodeSStorage, BodyStaysWhileANodeStillListsIt) {
    Log log;
    {
        SCOPED_TRACE("both released by a list being destroyed: they end one after the other");
        auto* const body = new Body(&log);
        CustomNode::create(nullptr)
            ->registerAttribute("meshes", AT_M_NODE_PTR)
            .setGeneric(AttributeValue(std::vector<NodeRef>{
                Mesh::create(body, new Slot("a", &log)), Mesh::create(body, new Slot("b", &log))}));
        ASSERT_EQ(3u, log.size());
        EXPECT_EQ("body", log[1]);
    }
    SCOPED_TRACE("one node held only by the notification that drops it, the other destroyed");
    log.clear();
    auto* const body = new Body(&log);
    Ref<Mesh> a = Mesh::create(body, new Slot("a", &log));
    Ref<Mesh> b = Mesh::create(body, new Slot("b", &log));
    auto const connection = a->subscribeForNodeChangeNotification(
        [&](ChangeAction action, Node const&, boost::optional<Attribute const&>) {
            if (action != CA_VALUE_CHANGED) {
                return;
            }
            a.reset();
            b.reset();
            EXPECT_EQ((Log{"b"}), log);
            EXPECT_EQ(a.get(), nullptr);
        });
    a->colour.set(7);
    EXPECT_EQ((Log{"b", "body", "a"}), log);
}

TEST(NodeSStorage, InstancePtrIsTheNodeUntilReferencedThenANewInstanceOfItsBody) {
    Log log;
    auto const before = live();
    {
        auto* const body = new Body(&log);
        Ref<Mesh> mesh = Mesh::create(body, new Slot("a", &log));
        mesh->slot().colour = 3;
        EXPECT_EQ(mesh, instanceOf(*mesh));
        EXPECT_TRUE(mesh->calls.empty());

        Ref<CustomNode> scene = CustomNode::create(nullptr);
        scene->registerAttribute("mesh", AT_S_NODE_PTR).setGeneric(AttributeValue(NodeRef(mesh)));
        Ref<Mesh> const second = norv::basalt::dynamic_ref_cast<Mesh>(instanceOf(*mesh));
        ASSERT_TRUE(second);
        EXPECT_NE(mesh, second);
        EXPECT_EQ((std::vector<std::pair<SharedStorage*, InstanceStorage*>>{{body, &mesh->slot()}}),
                  mesh->calls);
        EXPECT_EQ(&mesh->slot(), second->slot().copiedFrom);
        EXPECT_EQ(3, second->slot().colour);
        EXPECT_EQ(body, second->getSharedStorage());
        EXPECT_EQ(2u, body->getNodeRefList().size());

        mesh->makeNone = true;
        EXPECT_FALSE(instanceOf(*mesh));

        SCOPED_TRACE("the hook drops the last reference to the asking node");
        mesh->makeNone = false;
        Mesh* const held = mesh.get();
        mesh.reset();
        held->beforeCreate = [&] {
            scene->getAttribute("mesh")->setGeneric(AttributeValue(NodeRef()));
        };
        Ref<Node> const third = instanceOf(*held);
        EXPECT_EQ((Log{"a"}), log);
        EXPECT_EQ(3, static_cast<Mesh&>(*third).slot().colour);
        EXPECT_EQ(2u, body->getNodeRefList().size());
    }
    EXPECT_EQ(before, live());
}

TEST(NodeSStorage, FailedHooksLeaveNoHalfMadeInstance) {
    Ref<Mesh> const mesh = Mesh::create(new Body, new Slot);
    Ref<CustomNode> const scene = CustomNode::create(nullptr);
    scene->registerAttribute("mesh", AT_S_NODE_PTR).setGeneric(AttributeValue(NodeRef(mesh)));
    auto const before = live();
    mesh->beforeCreate = [] { throw NotSupported(""); };
    EXPECT_THROW(instanceOf(*mesh), NotSupported);
    mesh->beforeCreate = nullptr;
    mesh->slot().failCopy = true;
    EXPECT_THROW(instanceOf(*mesh), InvalidOperationException);
    EXPECT_EQ(before, live());
    EXPECT_EQ(1u, mesh->getSharedStorage()->getNodeRefList().size());
    EXPECT_EQ(2, mesh->getSharedStorage()->getRefCount());
}

TEST(NodeSStorage, FailedConstructionReleasesItsStoragesAsDestructionWould) {
    auto const before = live();
    EXPECT_THROW(Mesh::create(nullptr, new Slot), InvalidOperationException);
    {
        Ref<Mesh> const mesh = Mesh::create(new Body, new Slot);
        auto const during = live();
        // A storage of another node is refused and stays with its node.
        EXPECT_THROW(Mesh::create(mesh->getSharedStorage(), &mesh->slot()),
                     InvalidOperationException);
        EXPECT_EQ(mesh.get(), mesh->slot().getNode());
        for (bool const inConstructor : {true, false}) {
            SCOPED_TRACE(inConstructor ? "constructor throws" : "registration throws");
            Mesh::failConstruction = inConstructor;
            auto const make = [inConstructor](SharedStorage* body, InstanceStorage* slot) {
                return inConstructor ? Mesh::create(body, slot)
                                     : Ref<Mesh>(Mesh::create<Unregistrable>(body, slot));
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
