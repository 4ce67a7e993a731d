#include <tavel/nodes/Node.h>
#include <tavel/types/AttributeValue.h>
#include <tavel/types/Exceptions.h>

#include <gtest/gtest.h>

#include <limits>

namespace Norv::Tavel {
namespace {

TEST(Vocabulary, NumbersAreTheInterfaceNumbers) {
    // The kind numbers are checked with their names in the name tests.
    EXPECT_EQ(gt_texture_2d_and_video_and_flash_filename, 12);
    EXPECT_EQ(gt_color, 13);
    EXPECT_EQ(gt_vendor_info, 21);
    EXPECT_EQ(gt_btf_filename, 23);
    EXPECT_EQ(CA_UPDATES_RELEASED, 4);
    EXPECT_EQ(CA_CHILD_CHANGED, 9);
    EXPECT_EQ(CA_NODE_DESTROYED, 10);
}

TEST(Vocabulary, ValuesAreTaggedWithTheKindOfTheirType) {
    struct Row {
        AttributeValue value;
        AttributeType expected;
    };
    Row const rows[] = {
        {AttributeValue(true), AT_S_BOOL},
        {AttributeValue(static_cast<unsigned char>(7)), AT_S_BYTE},
        {AttributeValue(1.5), AT_S_DOUBLE},
        {AttributeValue(1.5f), AT_S_FLOAT},
        {AttributeValue(FloatVec2(1, 2)), AT_S_FLOAT2},
        {AttributeValue(FloatVec4(1, 2, 3, 4)), AT_S_FLOAT4},
        {AttributeValue(-3), AT_S_INT32},
        {AttributeValue(std::int64_t{-3}), AT_S_INT64},
        {AttributeValue(3u), AT_S_UINT32}, // never AT_S_ENUM
        {AttributeValue(std::uint64_t{3}), AT_S_UINT64},
        {AttributeValue(QStringLiteral("x")), AT_S_STRING},
        {AttributeValue(Vec3f(1, 2, 3)), AT_S_VEC3},
        {AttributeValue(Quatf(0, 0, 0, 1)), AT_S_QUAT},
        {AttributeValue(Mat44f()), AT_S_MAT44},
        {AttributeValue(NodeRef()), AT_S_NODE_PTR},
        {AttributeValue(std::vector<bool>{true}), AT_M_BOOL},
        {AttributeValue(std::vector<float>{1.f}), AT_M_FLOAT},
        {AttributeValue(std::vector<unsigned>{1u}), AT_M_UINT32},
        {AttributeValue(std::vector<QString>{}), AT_M_STRING},
        {AttributeValue(std::vector<Quatf>{}), AT_M_QUAT},
        {AttributeValue(std::vector<NodeRef>{}), AT_M_NODE_PTR},
    };
    for (Row const& row : rows) {
        SCOPED_TRACE(row.expected);
        EXPECT_EQ(row.value.m_type, row.expected);
        EXPECT_FALSE(row.value.empty());
    }
    AttributeValue const copy = rows[2].value;
    ASSERT_NE(copy.get<double>(), nullptr);
    EXPECT_EQ(*copy.get<double>(), 1.5);
    EXPECT_EQ(copy.get<float>(), nullptr);
    EXPECT_TRUE(AttributeValue().empty());
}

TEST(Vocabulary, FloatVectorsIncludeEpsilonOtherVectorsExcludeIt) {
    float const eps = std::numeric_limits<float>::epsilon();
    EXPECT_EQ(FloatVec2(1.f, 2.f), FloatVec2(1.f + eps, 2.f));
    EXPECT_NE(FloatVec2(1.f, 2.f), FloatVec2(1.f + 2 * eps, 2.f));
    EXPECT_NE(Vec2f(1.f, 2.f), Vec2f(1.f + eps, 2.f));
    EXPECT_EQ(Vec2f(1.f, 2.f), Vec2f(1.f, 2.f));

    Mat44f a;
    Mat44f b;
    EXPECT_EQ(a, b);
    b[3][2] = eps;
    EXPECT_NE(a, b);
    EXPECT_EQ(Quatf(), Quatf(0, 0, 0, 0)); // default values are zero
    EXPECT_EQ(FloatVec4(), FloatVec4(0, 0, 0, 0));

    float const nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_NE(FloatVec3(nan, 0, 0), FloatVec3(nan, 0, 0));
    EXPECT_NE(Vec3f(nan, 0, 0), Vec3f(nan, 0, 0));
    EXPECT_FALSE(singleValueEquals(nan, nan));
    EXPECT_FALSE(singleValueEquals(std::numeric_limits<double>::quiet_NaN(), 0.0));
}

template <class... E> void expectRuntimeErrorsWithEmptyText() {
    auto const check = [](auto&& error) {
        try {
            throw error;
        } catch (std::runtime_error const& caught) {
            EXPECT_STREQ(caught.what(), "");
        }
    };
    (check(E("")), ...);
}

TEST(Vocabulary, ExceptionsAreRuntimeErrorsWithEmptyText) {
    expectRuntimeErrorsWithEmptyText<
        AttributeCannotBeRemovedException, AttributeExistsException, BadCastException,
        ClassIdsDoNotMatchException, InvalidAttributeNameException, InvalidOperationException,
        NotSupported, OutOfRangeException, UnknownAttributeException>();
}

} // namespace
} // namespace Norv::Tavel
