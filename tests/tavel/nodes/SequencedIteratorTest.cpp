#include "support/NodeTestSupport.h"

#include <tavel/types/Exceptions.h>

#include <gtest/gtest.h>

namespace Norv::Tavel::testing {
namespace {

std::vector<std::string> visit(Node const& node, AttributeFlags filter) {
    std::vector<std::string> names;
    for (auto it = node.begin(filter); it != node.end(); ++it) {
        names.push_back(it->getAttributeName().toStdString());
    }
    return names;
}

using Names = std::vector<std::string>;

TEST(SequencedIterator, VisitsSpecificationOrderThroughTheFilter) {
    Ref<Lamp> const lamp = Lamp::create(nullptr);
    Ref<Lamp> const other = Lamp::create(nullptr);
    other->registerAttribute("onlyOther", AT_S_BOOL);
    lamp->registerAttribute("gain", AT_S_FLOAT);

    EXPECT_EQ((Names{"intensity", "label", "seed", "gain"}), visit(*lamp, 0));
    EXPECT_EQ((Names{"gain"}), visit(*lamp, ATTR_CUSTOM));
    EXPECT_EQ((Names{"intensity", "label", "seed"}), visit(*lamp, ATTR_FIXED));
    EXPECT_EQ((Names{"intensity", "label", "gain"}), visit(*lamp, ATTR_SERIALIZE));
    EXPECT_EQ((Names{"intensity", "label", "seed", "gain"}),
              visit(*lamp, ATTR_SERIALIZE | ATTR_FIXED));
    EXPECT_EQ((Names{"intensity", "label", "seed", "onlyOther"}), visit(*other, 0));

    // Names shared between nodes, one removed and registered again: each node
    // still walks its own attributes in the class's order, and only those.
    other->registerAttribute("gain", AT_S_FLOAT);
    lamp->registerAttribute("tail", AT_S_BOOL);
    lamp->removeAttribute("gain");
    Attribute const& gain = lamp->registerAttribute("gain", AT_S_FLOAT);
    EXPECT_EQ((Names{"intensity", "label", "seed", "gain", "tail"}), visit(*lamp, 0));
    EXPECT_EQ((Names{"intensity", "label", "seed", "onlyOther", "gain"}), visit(*other, 0));
    EXPECT_EQ(5u, lamp->calculateNumberOfAttributes());
    SequencedIterator fourth = lamp->begin();
    for (int step = 0; step < 3; ++step) {
        ++fourth;
    }
    EXPECT_TRUE(lamp->find(gain) == fourth);

    Ref<Node> const empty = CustomNode::create(nullptr);
    EXPECT_TRUE(empty->begin() == empty->end());
    EXPECT_THROW(*empty->end(), OutOfRangeException);
}

TEST(SequencedIterator, StepsCircularlyThroughEndAndFindAgreesWithIteration) {
    Ref<Lamp> const lamp = Lamp::create(nullptr);
    Attribute& gain = lamp->registerAttribute("gain", AT_S_FLOAT);
    SequencedIterator it = lamp->end();
    EXPECT_EQ(&gain, &*--it);
    EXPECT_TRUE(++it == lamp->end());
    EXPECT_EQ(&lamp->intensity, &*++it);
    EXPECT_EQ(&lamp->intensity, &*it--);
    EXPECT_TRUE(it == lamp->end());
    EXPECT_TRUE(--lamp->begin(ATTR_CUSTOM) == lamp->end());

    // find agrees with iteration whatever the filter.
    ConstSequencedIterator serialized = ++lamp->begin(ATTR_SERIALIZE);
    EXPECT_TRUE(lamp->find(lamp->label) == serialized);
    EXPECT_TRUE(lamp->find(gain) == ++serialized);
    EXPECT_THROW(lamp->find(Lamp::create(nullptr)->seed), UnknownAttributeException);
}

} // namespace
} // namespace Norv::Tavel::testing
