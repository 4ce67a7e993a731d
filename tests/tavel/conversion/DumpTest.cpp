#include <tavel/attributes/DataMA.h>
#include <tavel/attributes/DataMANode.h>
#include <tavel/attributes/DataSA.h>
#include <tavel/attributes/DataSANode.h>
#include <tavel/conversion/Utilities.h>
#include <tavel/nodes/CustomNode.h>
#include <tavel/registry/NodeSStorage.h>

#include <boost/thread/thread.hpp>

#include <gtest/gtest.h>

#include <string>

namespace Norv::Tavel {
namespace {

using norv::basalt::Ref;
using norv::basalt::Uuid;

class Mesh : public NodeClass<Mesh> {
public:
    static Uuid const& getUUID() {
        static Uuid const id("{3E5A7C91-2B4D-4F6E-8A1C-9D0B2E4F6A8C}");
        return id;
    }

    DataSA<AT_S_VEC3> size{this, Vec3f(), gt_none};
    DataSANode<Node> part{this};
    DataMANode<Node> parts{this};
    DataMA<AT_M_DOUBLE> weights{this, {}, gt_none};

protected:
    using NodeClass::NodeClass;

    void registerAttributes(Specification& layout) override {
        if (!layout.needsRegistration) {
            return;
        }
        layout.addInheritFrom(getUUID());
        registerFixedAttribute(layout, size, ATTR_SERIALIZE, "size", "");
        registerFixedAttribute(layout, part, ATTR_SERIALIZE, "part", "");
        registerFixedAttribute(layout, parts, ATTR_SERIALIZE, "parts", "");
        registerFixedAttribute(layout, weights, ATTR_SERIALIZE, "weights", "");
        NodeClass::registerAttributes(layout);
    }
};

// A shared-storage node with a body of its own.
class Body : public NodeSStorage {
public:
    static Uuid const& getUUID() {
        static Uuid const id("{5C7E9A13-4D6F-4B80-9C2E-1F3A5B7D9E0A}");
        return id;
    }
    static Ref<Body> create(long long sharedId) {
        Ref<Body> body(new Body(sharedId));
        body->registerClassOnce();
        return body;
    }
    Ref<Node> createInstance(boost::shared_ptr<Registry>) override { return create(0); }
    Ref<NodeSStorage> createSharedInstance(SharedStorage*, InstanceStorage*) override {
        return nullptr;
    }

protected:
    explicit Body(long long sharedId)
        : NodeSStorage(nullptr, layout(), new SharedStorage(sharedId), nullptr, EMPTY_NODE_ID) {}
    static Specification& layout() {
        static Specification layout("Body");
        return layout;
    }
    void registerAttributes(Specification& layout) override {
        if (!layout.needsRegistration) {
            return;
        }
        layout.addInheritFrom(getUUID());
        NodeSStorage::registerAttributes(layout);
    }
};

class DumpTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Mesh::registerInFactory(QStringLiteral("Mesh"));
        Factory::get()->registerClass(Body::getUUID(), QStringLiteral("50% %1 off %2"),
                                      Factory::CreateFunction());
    }

    static std::string dumpOf(Ref<Node> const& node, QStringList const& names) {
        return Utilities::dump(node, names).toStdString();
    }
};

TEST_F(DumpTest, PrintsASmallSceneLineByLine) {
    Ref<Mesh> root = Mesh::create(nullptr, 7);
    Ref<Mesh> wheel = Mesh::create(nullptr, 8);
    root->size.set(Vec3f(1, 2, 3));
    root->weights.set({1.5, 2});
    root->part.set(wheel);
    root->parts.set({wheel});
    wheel->registerAttribute("name", AT_S_STRING)
        .setGeneric(AttributeValue(QStringLiteral("wheel")));

    // A shared child prints in full wherever it is reached.
    std::string const wheelText = R"(wheel (Class: Mesh, NetId: -1 InstId: 8, SharedId: -1)  {
   size = 0 0 0
   part = NULL
   parts = 0 children
   [
   ]
   weights = 
   name = wheel
  }
)";
    EXPECT_EQ(dumpOf(root, {}), "NO_NAME (Class: Mesh, NetId: -1 InstId: 7, SharedId: -1){\n"
                                " size = 1 2 3\n"
                                " part = " +
                                    wheelText +
                                    " parts = 1 children\n"
                                    " [\n"
                                    "  " +
                                    wheelText +
                                    " ]\n"
                                    " weights = 1.5;2\n"
                                    "}\n");
}

TEST_F(DumpTest, RestrictionAppliesAtEveryDepth) {
    Ref<Mesh> root = Mesh::create(nullptr, 7);
    Ref<Mesh> child = Mesh::create(nullptr, 8);
    root->part.set(child);
    QString names[] = {QStringLiteral("weights"), QString(), QStringLiteral("missing"),
                       QStringLiteral("part")};
    EXPECT_EQ(dumpOf(root, initQStringList(names, 4)),
              R"(NO_NAME (Class: Mesh, NetId: -1 InstId: 7, SharedId: -1){
 weights = 
 part = NO_NAME (Class: Mesh, NetId: -1 InstId: 8, SharedId: -1)  {
   weights = 
   part = NULL
  }
}
)");
    EXPECT_EQ(dumpOf(root, {QStringLiteral("missing")}),
              "NO_NAME (Class: Mesh, NetId: -1 InstId: 7, SharedId: -1){\n}\n");
    EXPECT_EQ(dumpOf(nullptr, {}), "NULL\n");
    EXPECT_TRUE(initQStringList(nullptr, 3).isEmpty());
}

TEST_F(DumpTest, NamesAreNeverSubstitutedInto) {
    Ref<Body> body = Body::create(42);
    body->registerAttribute("name", AT_S_STRING)
        .setGeneric(AttributeValue(QStringLiteral("%1 %2 100%")));
    EXPECT_EQ(dumpOf(body, {QStringLiteral("missing")}),
              "%1 %2 100% (Class: 50% %1 off %2, NetId: -1 InstId: " +
                  std::to_string(body->getNodeId()) + ", SharedId: 42){\n}\n");

    Ref<Mesh> numbered = Mesh::create(nullptr, 9);
    numbered->registerAttribute("name", AT_S_INT32).setGeneric(AttributeValue(5));
    EXPECT_EQ(dumpOf(numbered, {QStringLiteral("missing")}),
              "5 (Class: Mesh, NetId: -1 InstId: 9, SharedId: -1){\n}\n");
}

TEST_F(DumpTest, ReferenceCyclesEndAtTheNodeAlreadyOpen) {
    Ref<Mesh> a = Mesh::create(nullptr, 1);
    Ref<Mesh> b = Mesh::create(nullptr, 2);
    a->part.set(b);
    b->parts.set({a, b});
    EXPECT_EQ(dumpOf(a, {QStringLiteral("part"), QStringLiteral("parts")}),
              R"(NO_NAME (Class: Mesh, NetId: -1 InstId: 1, SharedId: -1){
 part = NO_NAME (Class: Mesh, NetId: -1 InstId: 2, SharedId: -1)  {
   part = NULL
   parts = 2 children
   [
    NO_NAME (Class: Mesh, NetId: -1 InstId: 1, SharedId: -1) <cycle>
    NO_NAME (Class: Mesh, NetId: -1 InstId: 2, SharedId: -1) <cycle>
   ]
  }
 parts = 0 children
 [
 ]
}
)");
    b->parts.set({});
}

// On a thread whose stack a walk that recursed per level would overflow at
// this depth. (Each level indents two more spaces, so the text grows with the
// square of the depth: 10,000 levels print 3e8 characters.)
TEST_F(DumpTest, DeepChainsNeedNoCallStack) {
    int const depth = 2000;
    // Built from the far end, so no change has owners to climb to.
    Ref<Mesh> root = Mesh::create(nullptr);
    for (int i = 1; i < depth; ++i) {
        Ref<Mesh> above = Mesh::create(nullptr);
        above->part.set(root);
        root = above;
    }
    QString text;
    boost::thread::attributes small;
    small.set_stack_size(128 * 1024);
    boost::thread walker(small, [&] { text = Utilities::dump(root, {QStringLiteral("part")}); });
    walker.join();
    EXPECT_EQ(text.count(QLatin1Char('{')), depth);
    EXPECT_EQ(text.count(QLatin1Char('}')), depth);
    EXPECT_EQ(text.count(QStringLiteral("part = NULL")), 1);
    // Released link by link: a chain this long must not be freed recursively.
    for (Ref<Mesh> at = root; at;) {
        Ref<Mesh> next = norv::basalt::static_ref_cast<Mesh>(at->part.get());
        at->part.set(nullptr);
        at = next;
    }
}

} // namespace
} // namespace Norv::Tavel
