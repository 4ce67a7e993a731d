// Assignment of one hierarchy onto another: what each flag carries and the
// notifications it causes, references shared, copied or assigned in place,
// cycles, deep chains, and hooks and subscribers that attack mid-way.

#include "support/GraphTestSupport.h"

#include <tavel/attributes/DataSAEnum.h>
#include <tavel/operations/AssignOperator.h>

#include <gtest/gtest.h>

#include <functional>

namespace Norv::Tavel::testing {
namespace {

using Op = AssignOperator;

// Lamp: a ranged intensity, a label and an instance-data seed.
TEST(AssignOperator, FlagsChooseWhatIsCarriedAndEachChangeIsNotified) {
    struct Row {
        int flags;
        float intensity, maximum;
        int seed;
        bool gain, stale;
        char const* display;
        char const* heard; // what the target's subscriber heard, "|" between lines
        char const* ignored = "";
    };
    using O = Op;
    Row const rows[] = {
        // The value clamped by the target's own range; the custom attribute the
        // target lacks is skipped; instance data stays.
        {0, 10, 10, 0, false, true, "Intensity", "t 0 intensity|t 0 label"},
        {O::ASSIGN_RANGES_AND_ENUM_NAMES, 15, 20, 0, false, true, "Intensity",
         "t 0 intensity|t 0 label"},
        {O::ASSIGN_INSTANCE_DATA, 10, 10, 7, false, true, "Intensity",
         "t 0 intensity|t 0 label|t 0 seed"},
        {O::ASSIGN_CUSTOM_ATTRIBUTES, 10, 10, 0, true, true, "Intensity",
         "t 0 intensity|t 0 label|t 6 gain|t 0 gain"},
        // Removed without a word.
        {O::ASSIGN_REMOVE_CUSTOM_ATTRIBUTES, 10, 10, 0, false, false, "Intensity",
         "t 0 intensity|t 0 label"},
        {O::ASSIGN_HUMAN_READABLE_NAMES, 10, 10, 0, false, true, "Power",
         "t 0 intensity|t 0 label"},
        {0x7FFFF000, 10, 10, 0, false, true, "Intensity", "t 0 intensity", "label|gain"},
        // Node::assign.
        {319, 15, 20, 7, true, false, "Power",
         "t 0 intensity|t 0 label|t 0 seed|t 6 gain|t 0 gain"},
    };
    for (Row const& row : rows) {
        SCOPED_TRACE(row.flags);
        Log log;
        Ref<Lamp> const source = Lamp::create(nullptr);
        Ref<Lamp> const target = Lamp::create(nullptr);
        source->intensity.setMinMaxValues(0.0f, 20.0f);
        source->intensity.set(15.0f);
        source->intensity.setHumanReadableName("Power");
        source->label.set("key");
        source->seed.set(7);
        setFloat(source->registerAttribute("gain", AT_S_FLOAT, true), 0.5f);
        target->registerAttribute("stale", AT_S_BOOL);
        log.watch(*source, "s");
        log.watch(*target, "t");

        if (row.flags == 319) {
            target->assign(source);
        } else {
            Op op(target, source, row.flags);
            op.setIgnoreAttributeNames(
                QString::fromLatin1(row.ignored).split(QLatin1Char('|'), Qt::SkipEmptyParts));
            op.apply();
        }
        std::string heard;
        for (std::string const& line : log.take()) {
            heard += (heard.empty() ? "" : "|") + line;
        }
        EXPECT_EQ(row.heard, heard);
        EXPECT_EQ(row.intensity, target->intensity.get());
        EXPECT_EQ(row.maximum, target->intensity.getMaxValue());
        EXPECT_EQ(row.seed, target->seed.get());
        EXPECT_EQ(row.gain, bool(target->getAttribute("gain")));
        EXPECT_EQ(row.stale, bool(target->getAttribute("stale")));
        EXPECT_EQ(row.display, target->intensity.getHumanReadableName());
        EXPECT_EQ(*row.ignored ? "" : "key", target->label.get());
    }
}

TEST(AssignOperator, EnumerationsGoByNameAndOtherTypesAreRefused) {
    Log log;
    Ref<CustomNode> const source = CustomNode::create(nullptr);
    Ref<CustomNode> const target = CustomNode::create(nullptr);
    auto& from = dynamic_cast<DataSAEnum&>(source->registerAttribute("mode", AT_S_ENUM));
    auto& into = dynamic_cast<DataSAEnum&>(target->registerAttribute("mode", AT_S_ENUM));
    from.setStringValues({"a", "b", "c"});
    from.set(2);
    into.setStringValues({"x", "c"});
    log.watch(*target, "t");
    Op::apply(target, source, 0); // by name only
    EXPECT_EQ(1u, into.get());
    Op::apply(target, source, Op::ASSIGN_RANGES_AND_ENUM_NAMES);
    EXPECT_EQ(QStringList({"a", "b", "c"}), into.getStringValues());
    EXPECT_EQ(2u, into.get());
    EXPECT_EQ((Lines{"t 0 mode", "t 5 mode", "t 0 mode"}), log.take());

    // A same-named attribute of another type stops the assignment before it
    // is touched; attributes before it are assigned.
    setFloat(source->registerAttribute("size", AT_S_FLOAT), 2.0f);
    target->registerAttribute("size", AT_S_INT32).setGeneric(AttributeValue(5));
    from.set(0);
    EXPECT_THROW(Op::apply(target, source, 0), BadCastException);
    EXPECT_EQ(0u, into.get());
    EXPECT_EQ(5, *target->getAttribute("size")->getGeneric().get<int>());
}

// Source: link to a node of value 5, items of values 1, 2, 3. Target: a link
// and two items.
TEST(AssignOperator, ReferencesAreSharedCopiedOrAssignedInPlace) {
    Ref<Group> const source = group(0);
    source->link.set(group(5));
    source->items.set(refs({group(1), group(2), group(3)}));
    for (int flags : {0, Op::ASSIGN_COPY_REFERENCES, Op::ASSIGN_INTO_REFERENCES}) {
        SCOPED_TRACE(flags);
        Ref<Group> const target = makeGroup("t");
        target->link.set(makeGroup("tl"));
        target->items.set(refs({makeGroup("j"), makeGroup("j")}));
        NodeRef const link = target->link.get();
        std::vector<NodeRef> const items = target->items.get();
        Op::apply(target, source, flags);
        std::vector<NodeRef> const after = target->items.get();
        ASSERT_EQ(3u, after.size());
        EXPECT_EQ(5, valueOf(target->link.get()));
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(int(i) + 1, valueOf(after[i]));
            // Shared; copied; assigned in place where the target had an
            // entry, a copy beyond.
            bool const shared = flags == 0;
            EXPECT_EQ(shared, after[i] == source->items.getElement(i));
            EXPECT_EQ(flags == Op::ASSIGN_INTO_REFERENCES && i < 2,
                      i < items.size() && after[i] == items[i]);
        }
        EXPECT_EQ(flags == Op::ASSIGN_INTO_REFERENCES, target->link.get() == link);
        EXPECT_EQ(flags == 0, target->link.get() == source->link.get());
        target->link.set(NodeRef()); // nothing to assign into: a copy
        Op::apply(target, source, flags);
        EXPECT_EQ(flags == 0, target->link.get() == source->link.get());
        EXPECT_EQ(5, valueOf(target->link.get()));
    }
}

// Assigning into references follows the target's own references: walked by
// path, the cycles below (every node lists every node of its side, itself
// included) would take 12! steps. Each target node is assigned once. A node
// assigned onto itself keeps its custom attributes, which the removal of the
// target's would take.
TEST(AssignOperator, EachNodeIsAssignedOnceAndOntoItselfKeepsItsAttributes) {
    std::vector<Ref<Group>> source;
    std::vector<Ref<Group>> target;
    for (int i = 0; i < 12; ++i) {
        source.push_back(makeGroup("s"));
        source.back()->value.set(i + 1);
        target.push_back(makeGroup("t"));
    }
    for (std::size_t i = 0; i < source.size(); ++i) {
        source[i]->items.set(std::vector<NodeRef>(source.begin(), source.end()));
        target[i]->items.set(std::vector<NodeRef>(target.begin(), target.end()));
    }
    target[0]->assign(source[0]);
    for (std::size_t i = 0; i < target.size(); ++i) {
        EXPECT_EQ(int(i) + 1, target[i]->value.get());
        EXPECT_EQ(target.size(), target[i]->items.getSize());
    }
    for (std::size_t i = 0; i < source.size(); ++i) {
        source[i]->items.set({});
        target[i]->items.set({});
    }

    Ref<Node> const node = CustomNode::create(nullptr);
    setFloat(node->registerAttribute("gain", AT_S_FLOAT), 0.5f);
    node->assign(node);
    ASSERT_TRUE(node->getAttribute("gain"));
    EXPECT_EQ(0.5f, *node->getAttribute("gain")->getGeneric().get<float>());
}

TEST(AssignOperator, DeepChainsAreAssignedWithoutRecursion) {
    // Only the deepest value differs: no set climbs the chain but that one.
    std::vector<Ref<Group>> const source = chain(10000), target = chain(10000);
    source.back()->value.set(1);
    target.back()->value.set(2);
    target.front()->assign(source.front());
    EXPECT_EQ(1, target.back()->value.get());
    EXPECT_EQ(NodeRef(target.back()), target[target.size() - 2]->link.get());
}

// A chain of groups holding `values`, first to last.
std::vector<Ref<Group>> valued(std::initializer_list<int> values) {
    std::vector<Ref<Group>> nodes = chain(values.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        nodes[i]->value.set(values.begin()[i]);
    }
    return nodes;
}

TEST(AssignOperator, BadInputAndThrowingHooksLeaveTheSourceAlone) {
    Log log;
    Ref<Lamp> const lamp = Lamp::create(nullptr);
    log.watch(*lamp, "l");
    EXPECT_THROW(Op::apply(nullptr, lamp, 319), InvalidOperationException);
    EXPECT_THROW(lamp->assign(nullptr), InvalidOperationException);
    EXPECT_THROW(lamp->assign(makeGroup("g")), ClassIdsDoNotMatchException);
    EXPECT_TRUE(log.lines.empty());

    // The nodes referred to are done first: the leaf and the middle node are
    // assigned when the middle node's hook throws; the root's value is not.
    std::vector<Ref<Group>> const source = valued({1, 2, 3});
    std::vector<Ref<Group>> const target = valued({0, 0, 0});
    std::vector<int> hooks;
    for (Ref<Group> const& node : target) {
        node->onAssigned = [&hooks](Group& self) {
            hooks.push_back(self.value.get());
            if (self.value.get() == 2) {
                throw std::runtime_error("hook");
            }
        };
    }
    EXPECT_THROW(target[0]->assign(source[0]), std::runtime_error);
    EXPECT_EQ((std::vector<int>{3, 2}), hooks);
    EXPECT_EQ(0, target[0]->value.get());
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(int(i) + 1, source[i]->value.get());
        EXPECT_EQ(0, source[i]->getInhibitUpdateCounter() + target[i]->getInhibitUpdateCounter());
    }
}

// A subscriber of a nested target acts while its ranged custom attribute is
// being assigned, between the range and the value.
TEST(AssignOperator, SubscribersMayEditDropOrAssignMidWay) {
    using Attack = std::function<void(std::vector<Ref<Group>>&, std::vector<Ref<Group>>&)>;
    Attack const attacks[] = {
        [](auto& source, auto&) { source[1]->removeAttribute("gain"); },
        [](auto& source, auto&) { source.clear(); },
        [](auto&, auto& target) {
            target[0]->link.set(NodeRef());
            target.clear();
        },
        [](auto&, auto& target) {
            InhibitUpdate const scope(*target[0]);
            target[1]->removeAttribute("gain");
        },
        [](auto& source, auto& target) { target[0]->assign(source[0]); },
    };
    for (Attack const& attack : attacks) {
        std::vector<Ref<Group>> source = valued({1, 2});
        std::vector<Ref<Group>> target = valued({0, 0});
        Attribute& gain = source[1]->registerAttribute("gain", AT_S_FLOAT, true);
        dynamic_cast<DataSAMinMax<AT_S_FLOAT>&>(gain).setMinMaxValues(1.0f, 2.0f);
        setFloat(gain, 1.5f);
        bool done = false;
        target[1]->subscribeForNodeChangeNotification(
            [&](ChangeAction action, Node const&, boost::optional<Attribute const&> attribute) {
                if (!done && action == CA_VALUE_CHANGED && nameOf(attribute) == "gain") {
                    done = true;
                    attack(source, target);
                }
            });
        Ref<Group> const root = target[0];
        Ref<Group> const from = source[0];
        root->assign(from);
        EXPECT_TRUE(done);
        EXPECT_EQ(1, root->value.get());
        EXPECT_EQ(0, root->getInhibitUpdateCounter());
        root->link.set(NodeRef());
    }
}

} // namespace
} // namespace Norv::Tavel::testing
