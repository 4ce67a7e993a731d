#include "support/GraphTestSupport.h"
#include "support/StorageTestSupport.h"

#include <tavel/conversion/Utilities.h>
#include <tavel/registry/Factory.h>

#include <boost/thread/thread.hpp>

#include <gtest/gtest.h>

namespace Norv::Tavel::testing {
namespace {

class DumpTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Group::registerInFactory(QStringLiteral("Group"));
        Factory::get()->registerClass(Mesh::getUUID(), QStringLiteral("50% %1 off %2"),
                                      Factory::CreateFunction());
    }

    static std::string dumpOf(Ref<Node> const& node, QStringList const& names) {
        return Utilities::dump(node, names).toStdString();
    }
};

TEST_F(DumpTest, PrintsASmallSceneLineByLine) {
    Ref<Group> root = Group::create(nullptr, 7);
    Ref<Group> wheel = Group::create(nullptr, 8);
    root->value.set(3);
    root->link.set(wheel);
    root->items.set({wheel});
    root->registerAttribute("weights", AT_M_DOUBLE)
        .setGeneric(AttributeValue(std::vector<double>{1.5, 2}));
    wheel->registerAttribute("name", AT_S_STRING)
        .setGeneric(AttributeValue(QStringLiteral("wheel")));
    wheel->registerAttribute("empty", AT_M_DOUBLE);

    // A shared child prints in full wherever it is reached.
    std::string const wheelText = R"(wheel (Class: Group, NetId: -1 InstId: 8, SharedId: -1)  {
   link = NULL
   items = 0 children
   [
   ]
   value = 0
   seed = 0
   name = wheel
   empty = 
  }
)";
    EXPECT_EQ(dumpOf(root, {}), "NO_NAME (Class: Group, NetId: -1 InstId: 7, SharedId: -1){\n"
                                " link = " +
                                    wheelText +
                                    " items = 1 children\n"
                                    " [\n"
                                    "  " +
                                    wheelText +
                                    " ]\n"
                                    " value = 3\n"
                                    " seed = 0\n"
                                    " weights = 1.5;2\n"
                                    "}\n");
}

TEST_F(DumpTest, RestrictionAppliesAtEveryDepth) {
    Ref<Group> root = Group::create(nullptr, 7);
    root->link.set(Group::create(nullptr, 8));
    QString names[] = {QStringLiteral("value"), QString(), QStringLiteral("missing"),
                       QStringLiteral("link")};
    EXPECT_EQ(dumpOf(root, initQStringList(names, 4)),
              R"(NO_NAME (Class: Group, NetId: -1 InstId: 7, SharedId: -1){
 value = 0
 link = NO_NAME (Class: Group, NetId: -1 InstId: 8, SharedId: -1)  {
   value = 0
   link = NULL
  }
}
)");
    EXPECT_EQ(dumpOf(root, {QStringLiteral("missing")}),
              "NO_NAME (Class: Group, NetId: -1 InstId: 7, SharedId: -1){\n}\n");
    EXPECT_EQ(dumpOf(nullptr, {}), "NULL\n");
    EXPECT_TRUE(initQStringList(nullptr, 3).isEmpty());
}

TEST_F(DumpTest, NamesAreNeverSubstitutedInto) {
    Ref<Mesh> body = Mesh::create(nullptr, new Body(nullptr, 42));
    body->registerAttribute("name", AT_S_STRING)
        .setGeneric(AttributeValue(QStringLiteral("%1 %2 100%")));
    EXPECT_EQ(dumpOf(body, {QStringLiteral("missing")}),
              "%1 %2 100% (Class: 50% %1 off %2, NetId: -1 InstId: " +
                  std::to_string(body->getNodeId()) + ", SharedId: 42){\n}\n");

    Ref<Group> numbered = Group::create(nullptr, 9);
    numbered->registerAttribute("name", AT_S_INT32).setGeneric(AttributeValue(5));
    EXPECT_EQ(dumpOf(numbered, {QStringLiteral("missing")}),
              "5 (Class: Group, NetId: -1 InstId: 9, SharedId: -1){\n}\n");
}

TEST_F(DumpTest, ReferenceCyclesEndAtTheNodeAlreadyOpen) {
    Ref<Group> a = Group::create(nullptr, 1);
    Ref<Group> b = Group::create(nullptr, 2);
    a->link.set(b);
    b->items.set({a, b});
    EXPECT_EQ(dumpOf(a, {QStringLiteral("link"), QStringLiteral("items")}),
              R"(NO_NAME (Class: Group, NetId: -1 InstId: 1, SharedId: -1){
 link = NO_NAME (Class: Group, NetId: -1 InstId: 2, SharedId: -1)  {
   link = NULL
   items = 2 children
   [
    NO_NAME (Class: Group, NetId: -1 InstId: 1, SharedId: -1) <cycle>
    NO_NAME (Class: Group, NetId: -1 InstId: 2, SharedId: -1) <cycle>
   ]
  }
 items = 0 children
 [
 ]
}
)");
    b->items.set({});
}

// On a thread whose stack a walk that recursed per level would overflow at
// this depth. (Each level indents two more spaces, so the text grows with the
// square of the depth: 10,000 levels print 3e8 characters.)
TEST_F(DumpTest, DeepChainsNeedNoCallStack) {
    int const depth = 2000;
    std::vector<Ref<Group>> const nodes = chain(depth);
    QString text;
    boost::thread::attributes small;
    small.set_stack_size(128 * 1024);
    boost::thread walker(small,
                         [&] { text = Utilities::dump(nodes[0], {QStringLiteral("link")}); });
    walker.join();
    EXPECT_EQ(text.count(QLatin1Char('{')), depth);
    EXPECT_EQ(text.count(QLatin1Char('}')), depth);
    EXPECT_EQ(text.count(QStringLiteral("link = NULL")), 1);
}

} // namespace
} // namespace Norv::Tavel::testing
