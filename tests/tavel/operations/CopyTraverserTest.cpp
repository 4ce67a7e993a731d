#include "support/GraphTestSupport.h"
#include "support/StorageTestSupport.h"

#include <tavel/operations/CompareTraverser.h>
#include <tavel/operations/CopyTraverser.h>
#include <tavel/types/Exceptions.h>

#include <gtest/gtest.h>

#include <stdexcept>

namespace Norv::Tavel::testing {
namespace {

using Nodes = std::vector<NodeRef>;

// Stores an instance of the node it is given: the node itself while nothing
// refers to it, a new instance of its body once something does.
class InstancingLink : public DataSANode<Node> {
public:
    using DataSANode::DataSANode;
    void set(NodeRef const& value) override {
        DataSANode::set(value ? value->getInstancePtr() : value);
    }
};

class Stage : public NodeClass<Stage> {
public:
    static Uuid const& getUUID() {
        static Uuid const id("{B7D1E3F5-2A4C-4E6B-8D0F-1A3C5E7B9D24}");
        return id;
    }

    InstancingLink first{this};
    InstancingLink second{this};

protected:
    using NodeClass::NodeClass;

    void registerAttributes(Specification& layout) override {
        if (!layout.needsRegistration) {
            return;
        }
        layout.addInheritFrom(getUUID());
        registerFixedAttribute(layout, first, ATTR_SERIALIZE, "first", "");
        registerFixedAttribute(layout, second, ATTR_SERIALIZE, "second", "");
        NodeClass::registerAttributes(layout);
    }
};

TEST(CopyTraverser, SharedNodesStaySharedCyclesEndAndTheRootIsCopiedOnceMore) {
    HookScope const scope;
    std::vector<int> hooks;
    Group::onCopy = [&](Group& copy, Ref<Node> const& source) {
        EXPECT_EQ(valueOf(source), copy.value.get()); // attributes are done
        hooks.push_back(copy.value.get());
    };
    auto const registry = boost::make_shared<Registry>();
    Ref<Group> const root = group(1), a = group(2), b = group(3);
    root->link.set(a);
    root->items.set({a, b, a});
    a->link.set(b);
    b->link.set(root); // back to the root
    std::uint64_t const before = Registry::INSTANCE_COUNTER;
    {
        NodeRef const copy = root->copy(registry);
        ASSERT_TRUE(copy);
        EXPECT_EQ((std::vector<int>{1, 3, 2, 1}), hooks); // bottom-up, once per visit
        // root', a', b' and one further copy of the root: nothing else.
        EXPECT_EQ(before + 4, Registry::INSTANCE_COUNTER);
        Group& r = as(copy);
        NodeRef const a1 = r.link.get();
        EXPECT_EQ(2, valueOf(a1));
        EXPECT_NE(a.get(), a1.get());
        EXPECT_EQ((Nodes{a1, as(a1).link.get(), a1}), r.items.get());
        NodeRef const b1 = as(a1).link.get();
        EXPECT_EQ(3, valueOf(b1));
        NodeRef const root2 = as(b1).link.get();
        EXPECT_EQ(1, valueOf(root2));
        EXPECT_NE(copy.get(), root2.get());
        EXPECT_EQ(a1, as(root2).link.get());
        EXPECT_EQ((Nodes{a1, b1, a1}), as(root2).items.get());
        EXPECT_TRUE(root->compare(copy));
        unlinkAll(copy);
    }
    EXPECT_EQ(before, Registry::INSTANCE_COUNTER);
    unlinkAll(root);
}

TEST(CopyTraverser, FlagsChooseNamesControlsInstanceDataAndCustomAttributes) {
    Ref<Group> const source = group(7);
    source->seed.set(5);
    source->value.setHumanReadableName("Shown");
    source->value.setGuiControlType(gt_int);
    source->registerAttribute("extra", AT_S_FLOAT, true);
    source->getAttribute("extra")->setGeneric(AttributeValue(2.5f));
    struct Row {
        int flags;
        char const* name;
        GUIControlType control;
        int seed;
        bool extra;
    };
    for (Row const row :
         {Row{0, "Value", gt_none, 0, false}, Row{0x01, "Shown", gt_none, 0, false},
          Row{0x02, "Value", gt_int, 0, false}, Row{0x04, "Value", gt_none, 5, false},
          Row{0x08, "Value", gt_none, 0, true},
          Row{~0x3F | 0x0F, "Shown", gt_int, 5, true}}) { // unknown bits ignored
        SCOPED_TRACE(row.flags);
        NodeRef const copy = CopyTraverser::apply(source, nullptr, row.flags);
        Group& p = as(copy);
        EXPECT_EQ(7, p.value.get());
        EXPECT_EQ(row.name, p.value.getHumanReadableName().toStdString());
        EXPECT_EQ(row.control, p.value.getGuiControlType());
        EXPECT_EQ(row.seed, p.seed.get());
        boost::optional<Attribute&> const extra = p.getAttribute("extra");
        ASSERT_EQ(row.extra, bool(extra));
        if (extra) {
            EXPECT_TRUE(extra->hasMinMaxValues());
            EXPECT_EQ(2.5f, *extra->getGeneric().get<float>());
        }
    }
}

TEST(CopyTraverser, IgnoreListsLeaveOutByNameAndByPath) {
    Ref<Group> const root = group(1), first = group(2), second = group(3), below = group(4);
    root->items.set({first, second});
    root->link.set(below);
    struct Row {
        std::vector<std::string> names;
        std::vector<std::string> paths;
        int rootValue, firstValue, secondValue, belowValue;
    };
    for (Row const& row :
         std::vector<Row>{{{}, {}, 1, 2, 3, 4},
                          {{"value"}, {}, 0, 0, 0, 0},
                          {{"", "value", "value", "nothing"}, {}, 0, 0, 0, 0},
                          {{}, {"items[1]/value"}, 1, 2, 0, 4},
                          {{}, {"link/value", "value"}, 0, 2, 3, 0},
                          // Elements are not attributes; bad and unmatched paths leave nothing out.
                          {{},
                           {"items[1]", "items[1/value", "items]1[/value", "", "/value",
                            "items/value", "items[99999999999999999999]/value", "Value"},
                           1,
                           2,
                           3,
                           4}}) {
        SCOPED_TRACE(row.paths.empty() ? "names" : row.paths.front());
        CopyTraverser traverser(root, 0x0F);
        traverser.setIgnoreAttributeNames(row.names);
        traverser.setIgnorePathList(row.paths);
        Group& copy = as(traverser.apply(nullptr));
        EXPECT_EQ(row.rootValue, copy.value.get());
        EXPECT_EQ(row.firstValue, valueOf(copy.items.getElement(0)));
        EXPECT_EQ(row.secondValue, valueOf(copy.items.getElement(1)));
        EXPECT_EQ(row.belowValue, valueOf(copy.link.get()));
    }
    // Emptying a list clears its bit: nothing is left out any more.
    CopyTraverser traverser(root, 0x0F);
    traverser.setIgnoreAttributeNames(std::vector<std::string>{"value"});
    traverser.setIgnoreAttributeNames(QStringList());
    EXPECT_EQ(1, valueOf(traverser.apply(nullptr)));
}

TEST(CopyTraverser, CopiesOfOneBodyShareABodyAndKeepTheirOwnInstanceData) {
    Ref<Mesh> const original = Mesh::create(nullptr);
    original->label.set("shared");
    original->colour.set(1);
    Ref<Stage> const stage = Stage::create(nullptr);
    stage->first.set(original);
    stage->second.set(original); // a second instance of the body
    Mesh& instance = mesh(stage->second.get());
    ASSERT_NE(original.get(), &instance);
    instance.colour.set(2);

    NodeRef const copy = stage->copy(nullptr);
    Mesh& first = mesh(dynamic_cast<Stage&>(*copy).first.get());
    Mesh& second = mesh(dynamic_cast<Stage&>(*copy).second.get());
    EXPECT_NE(&first, &second);
    EXPECT_EQ(first.getSharedStorage(), second.getSharedStorage());
    EXPECT_NE(original->getSharedStorage(), first.getSharedStorage());
    EXPECT_EQ(1, first.colour.get());
    EXPECT_EQ(2, second.colour.get()); // the shared-only visit copies instance data
    EXPECT_EQ("shared", first.label.get().toStdString());
    EXPECT_EQ("", second.label.get().toStdString()); // and nothing of the body
}

// Two nodes of one body in one list: the second finds the first one's copy
// filled, with its lists and custom attributes.
TEST(CopyTraverser, SharedOnlyVisitLeavesFilledListsAndCarriedAttributesAlone) {
    Ref<Mesh> const one = Mesh::create(nullptr);
    Ref<Mesh> const two = Mesh::create(nullptr, one->getSharedStorage());
    Ref<Group> const child = group(9);
    for (Mesh* const node : {one.get(), two.get()}) {
        node->items.set({child});
        node->registerAttribute("tag", AT_S_INT32)
            .setGeneric(AttributeValue(int(node == two.get())));
    }
    one->colour.set(1);
    two->colour.set(2);
    Ref<Group> const root = group(0);
    root->items.set({one, two});

    NodeRef const copy = root->copy(nullptr);
    Nodes const meshes = as(copy).items.get();
    ASSERT_EQ(2u, meshes.size());
    EXPECT_EQ(meshes[0], meshes[1]);
    Mesh& shared = mesh(meshes[0]);
    ASSERT_EQ(1u, shared.items.getSize()); // not the child twice
    EXPECT_EQ(9, valueOf(shared.items.getElement(0)));
    EXPECT_EQ(0, *shared.getAttribute("tag")->getGeneric().get<int>());
    EXPECT_EQ(2, shared.colour.get());
}

TEST(CopyTraverser, CyclesThroughSharedStorageEnd) {
    Ref<Mesh> const one = Mesh::create(nullptr);
    Ref<Mesh> const two = Mesh::create(nullptr, one->getSharedStorage());
    one->link.set(two);
    two->link.set(one);
    two->items.set({two});
    NodeRef copy = one->copy(nullptr);
    // The root's copy, then one copy of the body, which ends up its own link.
    NodeRef const body = mesh(copy).link.get();
    ASSERT_TRUE(body);
    EXPECT_EQ(body, mesh(body).link.get());
    EXPECT_EQ(Nodes{body}, mesh(body).items.get());
    unlinkAll(copy);
    unlinkAll(one);
}

TEST(CopyTraverser, RegistryOfTheCopiesAndNullSources) {
    EXPECT_FALSE(CopyTraverser::apply(Ref<Node>(), nullptr, 0x0F));
    auto const home = boost::make_shared<Registry>();
    auto const target = boost::make_shared<Registry>();
    Ref<Group> const root = group(1, home);
    root->link.set(group(2, home));
    // The static form makes every copy in the given registry.
    NodeRef const copy = CopyTraverser::apply(root, target, 0x0F);
    EXPECT_EQ(target, copy->getRegistry());
    EXPECT_EQ(target, as(copy).link.get()->getRegistry());
    // The member form makes only the root there.
    CopyTraverser traverser(root, 0x0F);
    NodeRef const other = traverser.apply(target);
    EXPECT_EQ(target, other->getRegistry());
    EXPECT_EQ(home, as(other).link.get()->getRegistry());
}

// A hook that throws part-way: the exception passes, the source is as it
// was, and the unfinished copy (cyclic here) is gone with the traverser.
TEST(CopyTraverser, ThrowingHookLeavesTheSourceAndNoHalfMadeNodes) {
    HookScope const scope;
    auto const registry = boost::make_shared<Registry>();
    Ref<Group> const root = group(1, registry), a = group(2, registry), b = group(3, registry);
    root->link.set(a);
    a->items.set({b, root});
    b->link.set(a);
    NodeRef const before = CopyTraverser::apply(root, nullptr, 0x0F);
    std::size_t const registered = registry->getNumberOfNodes();
    std::uint64_t const live = Registry::INSTANCE_COUNTER;
    for (int failAt = 1; failAt <= 3; ++failAt) {
        SCOPED_TRACE(failAt);
        int calls = 0;
        Group::onCopy = [&](Group& copy, Ref<Node> const&) {
            InhibitUpdate const batch(copy);
            copy.value.set(100);
            if (++calls == failAt) {
                throw std::runtime_error("hook");
            }
        };
        EXPECT_THROW(root->copy(registry), std::runtime_error);
        Group::onCopy = nullptr;
        EXPECT_EQ(registered, registry->getNumberOfNodes());
        EXPECT_EQ(live, Registry::INSTANCE_COUNTER);
        EXPECT_TRUE(root->compare(before));
        EXPECT_EQ(0, root->getInhibitUpdateCounter());
    }
    unlinkAll(root);
    unlinkAll(before);
}

// Hooks that release, edit and copy the nodes of the running copy.
TEST(CopyTraverser, HostileHooksNeitherCrashNorChangeTheSourceBehindThem) {
    HookScope const scope;
    std::uint64_t const live = Registry::INSTANCE_COUNTER;
    {
        Ref<Group> root = group(1);
        Ref<Group> const a = group(2), b = group(3);
        root->items.set({a, b});
        root->registerAttribute("late", AT_S_INT32);
        a->registerAttribute("gone", AT_S_INT32);
        a->registerAttribute("kept", AT_S_INT32);
        a->link.set(b);
        Ref<Node> const source = root;
        int round = 0;
        Group::onCopy = [&](Group& copy, Ref<Node> const& from) {
            Group& original = as(from);
            switch (round++) {
            case 0: // b's copy: drop the test's hold, edit the source and the copy
                root.reset();
                a->removeAttribute("gone");
                as(source).items.set({a});
                copy.value.set(30);
                break;
            case 1: { // a's copy: copy the source from inside the copy
                NodeRef const nested = source->copy(nullptr);
                EXPECT_EQ(1, valueOf(nested));
                InhibitUpdate const batch(original);
                copy.items.set({copy.link.get()});
                break;
            }
            default:
                break;
            }
        };
        NodeRef const copy = CopyTraverser::apply(source, nullptr, 0x0F);
        Group::onCopy = nullptr;
        // The walk went on with what it had noted: both elements, and no "gone".
        ASSERT_EQ(2u, as(copy).items.getSize());
        NodeRef const a1 = as(copy).items.getElement(0);
        EXPECT_FALSE(a1->getAttribute("gone"));
        EXPECT_TRUE(a1->getAttribute("kept"));
        EXPECT_TRUE(copy->getAttribute("late"));
        EXPECT_EQ(30, valueOf(as(a1).link.get()));
        EXPECT_EQ(0, a->getInhibitUpdateCounter());
        EXPECT_EQ(Nodes{a}, as(source).items.get());
    }
    EXPECT_EQ(live, Registry::INSTANCE_COUNTER);
}

TEST(CopyTraverser, DeepChainWithoutRecursion) {
    Ref<Group> const root = chain(10000).front();
    NodeRef const copy = root->copy(nullptr);
    std::size_t length = 0;
    for (NodeRef node = copy, original = root; node || original;
         node = as(node).link.get(), original = as(original).link.get()) {
        ASSERT_TRUE(node && original);
        ASSERT_NE(node, original);
        ++length;
    }
    EXPECT_EQ(10000u, length);
    unlinkAll(copy);
    unlinkAll(root);
}

} // namespace
} // namespace Norv::Tavel::testing
