#include "tavel/operations/OperationsTestSupport.h"

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
    Piece::onCompare = [&](Piece const&, Ref<Node> const&, bool) {
        ++hooks;
        return true;
    };
    Ref<Piece> const a = piece(1);
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
    auto const range = [](Piece& p) -> Range& {
        return dynamic_cast<Range&>(*p.getAttribute("extra"));
    };
    struct Row {
        char const* what;
        std::function<void(Piece&)> edit;
        int equalUnder;   // flags that do not see the difference (-1: none)
        int unequalUnder; // flags that do (-1: none)
    };
    float const e = std::numeric_limits<float>::epsilon();
    std::vector<Row> const rows{
        {"value", [](Piece& p) { p.value.set(5); }, 0xFE, 0x01},
        {"display name", [](Piece& p) { p.value.setHumanReadableName("Other"); }, 0xFB, 0x04},
        {"control", [](Piece& p) { p.value.setGuiControlType(gt_int); }, 0xF7, 0x08},
        {"instance data", [](Piece& p) { p.seed.set(3); }, 0xDF, 0x21},
        {"custom value",
         [](Piece& p) { p.getAttribute("extra")->setGeneric(AttributeValue(2.0f)); }, 0xBF, 0x41},
        {"custom name",
         [](Piece& p) {
             p.removeAttribute("extra");
             p.registerAttribute("other", AT_S_FLOAT, true);
         },
         0xE1, 0x42},
        {"custom range", [&](Piece& p) { range(p).setMinMaxValues(-1.0f, 100.0f); }, 0xEF, 0x50},
        {"range within epsilon", [&](Piece& p) { range(p).setMinMaxValues(e / 2, 100.0f); }, 0x3FF,
         -1},
        {"trailing custom", [](Piece& p) { p.registerAttribute("more", AT_S_BOOL); }, 0xBF, 0x40},
        {"referenced value", [](Piece& p) { as(p.link.get()).value.set(9); }, 0xFE, 0x01},
        {"list length", [](Piece& p) { p.items.insertElement(piece(3), 0); }, -1, 0},
        {"list element", [](Piece& p) { as(p.items.getElement(1)).value.set(0); }, 0xFE, 0x01},
    };
    for (Row const& row : rows) {
        SCOPED_TRACE(row.what);
        Ref<Piece> const first = piece(1), second = piece(1);
        for (Piece* const node : {first.get(), second.get()}) {
            node->link.set(piece(2));
            node->items.set({piece(3), piece(4)}); // equal content, other objects
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
    for (bool const byPath : {false, true}) {
        for (bool const qt : {false, true}) {
            SCOPED_TRACE(std::to_string(byPath) + std::to_string(qt));
            C traverser(first, second, flags);
            if (byPath && qt) {
                traverser.setIgnorePathList(QStringList{"extra", "", "extra[0]", "x/extra"});
            } else if (byPath) {
                traverser.setIgnorePathList(std::vector<std::string>{"extra", "extra"});
            } else if (qt) {
                traverser.setIgnoreAttributeNames(QStringList{"extra", "nothing"});
            } else {
                traverser.setIgnoreAttributeNames(std::vector<std::string>{"", "extra"});
            }
            EXPECT_TRUE(traverser.compare());
        }
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
    Ref<Piece> const one = piece(1), two = piece(1);
    one->items.set({piece(2), piece(3)});
    two->items.set({piece(2), piece(30)});
    for (char const* const path : {"items[1]/value", "items[1]/value "}) {
        C byPath(one, two, flags);
        byPath.setIgnorePathList(std::vector<std::string>{path, "items[1]", "value/items"});
        EXPECT_EQ(path[14] == '\0', byPath.compare()) << path;
    }
}

TEST(CompareTraverser, HooksRunInWalkOrderAndDecide) {
    HookScope const scope;
    Ref<Piece> const first = piece(1), second = piece(1);
    for (Piece* const node : {first.get(), second.get()}) {
        node->link.set(piece(2));
        node->items.set({piece(3)});
    }
    std::vector<std::string> heard;
    int refuse = 0; // the value whose pair a hook refuses, 0 for none
    bool refuseAfter = false;
    Piece::onCompare = [&](Piece const& node, Ref<Node> const&, bool post) {
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
    Ref<Piece> const first = chain(3, true), second = chain(3, true);
    EXPECT_TRUE(first->compare(second));
    as(as(second->link.get()).link.get()).value.set(1);
    EXPECT_FALSE(first->compare(second));
    // A cycle against a longer cycle: the pairs repeat only once both sides do.
    Ref<Piece> const longer = chain(6, true);
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
        Ref<Piece> top = piece(0);
        Ref<Piece> left = piece(1), right = piece(2);
        top->items.set({left, right});
        for (int i = 0; i < levels; ++i) {
            Ref<Piece> const l = piece(1), r = piece(2);
            left->items.set({l, r});
            right->items.set({l, r});
            left = l;
            right = r;
        }
        return top;
    };
    Ref<Piece> const first = ladder(40), second = ladder(40);
    int hooks = 0;
    Piece::onCompare = [&](Piece const&, Ref<Node> const&, bool) { return ++hooks > 0; };
    EXPECT_TRUE(first->compare(second));
    EXPECT_EQ(2 * (1 + 2 * 41), hooks);
}

// Hooks that release the compared nodes, remove attributes not yet compared
// and compare again from inside.
TEST(CompareTraverser, HostileHooksNeitherCrashNorConfuseTheWalk) {
    HookScope const scope;
    std::uint64_t const live = Registry::INSTANCE_COUNTER;
    {
        Ref<Piece> first = piece(1), second = piece(1);
        for (Piece* const node : {first.get(), second.get()}) {
            node->link.set(piece(2));
            node->registerAttribute("late", AT_S_INT32)
                .setGeneric(AttributeValue(int(node == first.get())));
        }
        NodeRef const a = first, b = second;
        int round = 0;
        Piece::onCompare = [&](Piece const& node, Ref<Node> const& other, bool post) {
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
        Piece::onCompare = [&](Piece const& node, Ref<Node> const&, bool post) {
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
    std::size_t const length = 100000;
    Ref<Piece> const first = chain(length), second = chain(length);
    EXPECT_TRUE(first->compare(second));
    Ref<Piece> last = second;
    while (last->link.get()) {
        last = Ref<Piece>(&as(last->link.get()));
    }
    last->value.set(1);
    EXPECT_FALSE(first->compare(second));
    unlinkAll(first);
    unlinkAll(second);
}

} // namespace
} // namespace Norv::Tavel::testing
