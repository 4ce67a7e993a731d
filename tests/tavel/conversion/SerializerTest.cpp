#include <tavel/attributes/DataMA.h>
#include <tavel/attributes/DataSA.h>
#include <tavel/attributes/DataSAMinMax.h>
#include <tavel/conversion/Serializer.h>
#include <tavel/nodes/CustomNode.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace Norv::Tavel {
namespace {

std::string bytesOf(Attribute const& attribute) {
    std::ostringstream out;
    serializeAttribute(out, attribute);
    return out.str();
}

TEST(Serializer, WritesLittleEndianRecords) {
    EXPECT_EQ(bytesOf(DataSA<AT_S_FLOAT>(nullptr, 1.0f, gt_none)),
              std::string("\x00\x00\x80\x3f", 4));
    EXPECT_EQ(bytesOf(DataSA<AT_S_UINT32>(nullptr, 0x01020304u, gt_none)),
              std::string("\x04\x03\x02\x01", 4));

    DataSAMinMax<AT_S_UINT32> ranged(nullptr, 7, 0, 10, gt_none);
    std::string const record = bytesOf(ranged);
    EXPECT_EQ(record, std::string("\x00\x00\x00\x00\x0a\x00\x00\x00\x07\x00\x00\x00", 12));

    DataSAMinMax<AT_S_UINT32> copy(nullptr, 0, 0, 100, gt_none);
    std::istringstream in(record);
    deserializeAttribute(in, copy);
    EXPECT_TRUE(in.good());
    EXPECT_EQ(copy.getMinValue(), 0u);
    EXPECT_EQ(copy.getMaxValue(), 10u);
    EXPECT_EQ(copy.get(), 7u);
}

TEST(Serializer, OtherKindsHaveEmptyRecords) {
    DataSA<AT_S_DOUBLE> number(nullptr, 1.0, gt_none);
    DataSA<AT_S_STRING> text(nullptr, QStringLiteral("x"), gt_none);
    DataMA<AT_M_FLOAT> list(nullptr, {1.0f}, gt_none);
    for (Attribute* attribute : std::initializer_list<Attribute*>{&number, &text, &list}) {
        std::stringstream stream("abcd");
        stream.seekp(0, std::ios::end);
        serializeAttribute(stream, *attribute);
        EXPECT_EQ(stream.str(), "abcd");
        std::int64_t const incarnation = attribute->getIncarnation();
        deserializeAttribute(stream, *attribute);
        EXPECT_EQ(stream.tellg(), 0);
        EXPECT_EQ(attribute->getIncarnation(), incarnation);
    }
}

TEST(Serializer, ShortReadLeavesTheAttributeAndFailsTheStream) {
    DataSAMinMax<AT_S_FLOAT> source(nullptr, 7.0f, -1.0f, 9.0f, gt_none);
    std::string const record = bytesOf(source);
    ASSERT_EQ(record.size(), 12u);
    for (std::size_t length : {0u, 3u, 4u, 8u, 11u}) {
        SCOPED_TRACE(length);
        DataSAMinMax<AT_S_FLOAT> target(nullptr, 2.0f, 0.0f, 5.0f, gt_none);
        std::int64_t const incarnation = target.getIncarnation();
        std::istringstream in(record.substr(0, length));
        deserializeAttribute(in, target);
        EXPECT_TRUE(in.fail());
        EXPECT_EQ(target.get(), 2.0f);
        EXPECT_EQ(target.getMinValue(), 0.0f);
        EXPECT_EQ(target.getMaxValue(), 5.0f);
        EXPECT_EQ(target.getIncarnation(), incarnation);
    }
    DataSA<AT_S_UINT32> plain(nullptr, 3, gt_none);
    std::istringstream in(std::string("\x01\x02", 2));
    deserializeAttribute(in, plain);
    EXPECT_TRUE(in.fail());
    EXPECT_EQ(plain.get(), 3u);
}

// Storing the range read moves the held value, and that report drops the
// node: the value read must still be stored into a live attribute.
TEST(Serializer, NodeDroppedByTheRangeReportLivesUntilTheValueIsStored) {
    DataSAMinMax<AT_S_FLOAT> source(nullptr, 7.0f, 6.0f, 10.0f, gt_none);
    std::istringstream in(bytesOf(source));
    norv::basalt::Ref<CustomNode> node = CustomNode::create(nullptr);
    Attribute& weight = node->registerAttribute("weight", AT_S_FLOAT, true);
    weight.setGeneric(AttributeValue(5.0f));
    std::vector<float> heard;
    node->subscribeForNodeChangeNotification(
        [&](ChangeAction action, Node const&, boost::optional<Attribute const&> attribute) {
            if (action == CA_VALUE_CHANGED) {
                heard.push_back(*attribute->getGeneric().get<float>());
                node = nullptr;
            }
        });
    deserializeAttribute(in, weight);
    EXPECT_EQ(heard, (std::vector<float>{6.0f, 7.0f}));
    EXPECT_FALSE(node);
}

} // namespace
} // namespace Norv::Tavel
