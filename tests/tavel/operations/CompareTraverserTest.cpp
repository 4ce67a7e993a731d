#include "support/GraphTestSupport.h"

#include <tavel/operations/CompareTraverser.h>

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

namespace Norv::Tavel::testing {
namespace {

using C = CompareTraverser;

TEST(CompareTraverser, SelfNullAndMixedPairs) {
    HookScope const scope;
    int hooks = 0;
    Group::onCompare = [&](Group const&, Ref<Node> const&, bool) {
        ++hooks;
        return true;
    };
    Ref<Group> const a = group(1);
    EXPECT_TRUE(C::compare(a, a, 0x3FF));
    EXPECT_TRUE(C::compare(Ref<Node>(), Ref<Node>(), 0x3FF));
    EXPECT_FALSE(C::compare(a, Ref<Node>(), 0));
    EXPECT_FALSE(C::compare(Ref<Node>(), a, 0));
    EXPECT_EQ(0, hooks);
    // Another class: unequal by class id before anything is asked.
    Ref<Lamp> const lamp = Lamp::create(nullptr);
    EXPECT_FALSE(a->compare(lamp));
    EXPECT_EQ(0, hooks);
    // Without the class bit the attributes decide: link against intensity.
    EXPECT_FALSE(C::compare(a, lamp, 0));
    EXPECT_EQ(1, hooks);
}

TEST(CompareTraverser, FlagsDecideWhichDifferencesCount) {
    using Range = DataSAMinMax<AT_S_FLOAT>;
    auto const range = [](Group& p) -> Range& {
        return dynamic_cast<Range&>(*p.getAttribute("extra"));
    };
    struct Row {
        char const* what;
        std::function<void(Group&)> edit;
        int equalUnder;   // flags that do not see the difference (-1: none)
        int unequalUnder; // flags that do (-1: none)
    };
    float const e = std::numeric_limits<float>::epsilon();
    std::vector<Row> const rows{
        {"value", [](Group& p) { p.value.set(5); }, 0xFE, 0x01},
        {"display name", [](Group& p) { p.value.setHumanReadableName("Other"); }, 0xFB, 0x04},
        {"control", [](Group& p) { p.value.setGuiControlType(gt_int); }, 0xF7, 0x08},
        {"instance data", [](Group& p) { p.seed.set(3); }, 0xDF, 0x21},
        {"custom value",
         [](Group& p) { p.getAttribute("extra")->setGeneric(AttributeValue(2.0f)); }, 0xBF, 0x41},
        {"custom name",
         [](Group& p) {
             p.removeAttribute("extra");
             p.registerAttribute("other", AT_S_FLOAT, true);
         },
         0xE1, 0x42},
        {"custom range", [&](Group& p) { range(p).setMinMaxValues(-1.0f, 100.0f); }, 0xEF, 0x50},
        {"range within epsilon", [&](Group& p) { range(p).setMinMaxValues(e / 2, 100.0f); }, 0x3FF,
         -1},
        {"trailing custom", [](Group& p) { p.registerAttribute("more", AT_S_BOOL); }, 0xBF, 0x40},
        {"referenced value", [](Group& p) { as(p.link.get()).value.set(9); }, 0xFE, 0x01},
        {"list length", [](Group& p) { p.items.insertElement(group(3), 0); }, -1, 0},
        {"list element", [](Group& p) { as(p.items.getElement(1)).value.set(0); }, 0xFE, 0x01},
    };
    for (Row const& row : rows) {
        SCOPED_TRACE(row.what);
        Ref<Group> const first = group(1), second = group(1);
        for (Group* const node : {first.get(), second.get()}) {
            node->link.set(group(2));
            node->items.set({group(3), group(4)}); // equal content, other objects
            node->registerAttribute("extra", AT_S_FLOAT, true);
            range(*node).setMinMaxValues(0.0f, 100.0f);
        }
        EXPECT_TRUE(C::compare(first, second, ~0x3FF | 0xFF)); // unknown bits ignored
        row.edit(*second);
        if (row.equalUnder >= 0) {
            EXPECT_TRUE(C::compare(first, second, row.equalUnder));
        }
        if (row.unequalUnder >= 0) {
            EXPECT_FALSE(C::compare(first, second, row.unequalUnder));
        }
    }
}

TEST(CompareTraverser, IgnoreListsSkipOnTheSideThatHasTheAttribute) {
    Ref<CustomNode> const first = CustomNode::create(nullptr);
    Ref<CustomNode> const second = CustomNode::create(nullptr);
    first->registerAttribute("extra", AT_S_INT32);
    for (CustomNode* const node : {first.get(), second.get()}) {
        node->registerAttribute("size", AT_S_INT32).setGeneric(AttributeValue(4));
    }
    int const flags = 0xE3;
    EXPECT_FALSE(C::compare(first, second, flags));
    // Names in one form, paths in the other: both forms share one reader.
    for (bool const byPath : {false, true}) {
        SCOPED_TRACE(byPath);
        C traverser(first, second, flags);
        if (byPath) {
            traverser.setIgnorePathList(QStringList{"extra", "", "extra[0]", "x/extra", "extra"});
        } else {
            traverser.setIgnoreAttributeNames(std::vector<std::string>{"", "extra", "nothing"});
        }
        EXPECT_TRUE(traverser.compare());
    }
    // A leftover attribute at the end is judged without the lists.
    Ref<CustomNode> const third = CustomNode::create(nullptr);
    third->registerAttribute("size", AT_S_INT32).setGeneric(AttributeValue(4));
    third->registerAttribute("tail", AT_S_INT32);
    C traverser(third, second, flags);
    traverser.setIgnoreAttributeNames(QStringList{"tail"});
    EXPECT_FALSE(traverser.compare());
    traverser.setIgnoreAttributeNames(QStringList());
    EXPECT_FALSE(traverser.compare());
    // Element paths on each side; an element itself is not an attribute.
    Ref<Group> const one = group(1), two = group(1);
    one->items.set({group(2), group(3)});
    two->items.set({group(2), group(30)});
    for (char const* const path : {"items[1]/value", "items[1]/value "}) {
        C byPath(one, two, flags);
        byPath.setIgnorePathList(std::vector<std::string>{path, "items[1]", "value/items"});
        EXPECT_EQ(path[14] == '\0', byPath.compare()) << path;
    }
}

TEST(CompareTraverser, HooksRunInWalkOrderAndDecide) {
    HookScope const scope;
    Ref<Group> const first = group(1), second = group(1);
    for (Group* const node : {first.get(), second.get()}) {
        node->link.set(group(2));
        node->items.set({group(3)});
    }
    std::vector<std::string> heard;
    int refuse = 0; // the value whose pair a hook refuses, 0 for none
    bool refuseAfter = false;
    Group::onCompare = [&](Group const& node, Ref<Node> const&, bool post) {
        heard.push_back((post ? "post " : "pre ") + std::to_string(node.value.get()));
        return node.value.get() != refuse || post != refuseAfter;
    };
    EXPECT_TRUE(first->compare(second));
    EXPECT_EQ((std::vector<std::string>{"pre 1", "pre 2", "post 2", "pre 3", "post 3", "post 1"}),
              heard);
    for (bool const after : {false, true}) {
        heard.clear();
        refuse = 2;
        refuseAfter = after;
        EXPECT_FALSE(first->compare(second));
        EXPECT_EQ(after ? 3u : 2u, heard.size()); // nothing is asked after a refusal
    }
}

TEST(CompareTraverser, CyclesCompareAsEqualWhileUnderWay) {
    Ref<Group> const first = chain(3, true).front(), second = chain(3, true).front();
    EXPECT_TRUE(first->compare(second));
    as(as(second->link.get()).link.get()).value.set(1);
    EXPECT_FALSE(first->compare(second));
    // A cycle against a longer cycle: the pairs repeat only once both sides do.
    Ref<Group> const longer = chain(6, true).front();
    EXPECT_TRUE(first->compare(longer));
    unlinkAll(first);
    unlinkAll(second);
    unlinkAll(longer);
}

// A diamond ladder: each level's two nodes both refer to both nodes below.
// Compared pair by pair again at every meeting, it would take 2^levels steps.
TEST(CompareTraverser, SharedSubHierarchiesAreComparedOnce) {
    HookScope const scope;
    auto const ladder = [](int levels) {
        Ref<Group> top = group(0);
        Ref<Group> left = group(1), right = group(2);
        top->items.set({left, right});
        for (int i = 0; i < levels; ++i) {
            Ref<Group> const l = group(1), r = group(2);
            left->items.set({l, r});
            right->items.set({l, r});
            left = l;
            right = r;
        }
        return top;
    };
    Ref<Group> const first = ladder(40), second = ladder(40);
    int hooks = 0;
    Group::onCompare = [&](Group const&, Ref<Node> const&, bool) { return ++hooks > 0; };
    EXPECT_TRUE(first->compare(second));
    EXPECT_EQ(2 * (1 + 2 * 41), hooks);
}

// Hooks that release the compared nodes, remove attributes not yet compared
// and compare again from inside.
TEST(CompareTraverser, HostileHooksNeitherCrashNorConfuseTheWalk) {
    HookScope const scope;
    std::uint64_t const live = Registry::INSTANCE_COUNTER;
    {
        Ref<Group> first = group(1), second = group(1);
        for (Group* const node : {first.get(), second.get()}) {
            node->link.set(group(2));
            node->registerAttribute("late", AT_S_INT32)
                .setGeneric(AttributeValue(int(node == first.get())));
        }
        NodeRef const a = first, b = second;
        int round = 0;
        Group::onCompare = [&](Group const& node, Ref<Node> const& other, bool post) {
            if (post || node.value.get() != 2) {
                return true;
            }
            if (round++ == 0) {
                first.reset();
                second.reset();
                a->removeAttribute("late");           // the one difference goes
                EXPECT_FALSE(C::compare(a, b, 0xE3)); // b still carries it
                InhibitUpdate const batch(const_cast<Node&>(*other));
            }
            return true;
        };
        EXPECT_TRUE(C::compare(a, b, 0xE3 & ~C::COMPARE_CUSTOM_ATTRIBUTES));
        EXPECT_EQ(2, round); // the nested compare asked too
        EXPECT_EQ(0, b->getInhibitUpdateCounter());
        // A hook that throws: the exception passes, and the traverser starts afresh.
        Group::onCompare = [&](Group const& node, Ref<Node> const&, bool post) {
            if (post && node.value.get() == 2 && round++ == 2) {
                throw std::runtime_error("hook");
            }
            return true;
        };
        C traverser(a, b, 0xA3);
        EXPECT_THROW(traverser.compare(), std::runtime_error);
        EXPECT_TRUE(traverser.compare());
    }
    EXPECT_EQ(live, Registry::INSTANCE_COUNTER);
}

TEST(CompareTraverser, ValueEqualityOfRanges) {
    float const e = std::numeric_limits<float>::epsilon();
    EXPECT_TRUE(C::valuesEqual(AttributeValue(1.0f), AttributeValue(1.0f + e)));
    EXPECT_FALSE(C::valuesEqual(AttributeValue(1.0f), AttributeValue(1.0)));
    EXPECT_TRUE(C::valuesEqual(AttributeValue(0.0), AttributeValue(1e-17)));
    EXPECT_FALSE(C::valuesEqual(AttributeValue(std::vector<double>{0.0}),
                                AttributeValue(std::vector<double>{1e-17})));
    EXPECT_FALSE(C::valuesEqual(AttributeValue(Vec2f(0.0f, 0.0f)), AttributeValue(Vec2f(e, 0.0f))));
    EXPECT_TRUE(
        C::valuesEqual(AttributeValue(FloatVec2(0.0f, 0.0f)), AttributeValue(FloatVec2(e, 0.0f))));
    EXPECT_FALSE(C::valuesEqual(AttributeValue(), AttributeValue()));
}

TEST(CompareTraverser, DeepChainsWithoutRecursion) {
    std::vector<Ref<Group>> const first = chain(100000), second = chain(100000);
    EXPECT_TRUE(first.front()->compare(second.front()));
    second.back()->value.set(1);
    EXPECT_FALSE(first.front()->compare(second.front()));
}

} // namespace
} // namespace Norv::Tavel::testing
