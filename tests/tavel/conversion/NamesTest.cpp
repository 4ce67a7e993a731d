#include <tavel/conversion/Utilities.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace Norv::Tavel {
namespace {

using namespace Utilities;

// Written out here, not taken from the library's own table.
struct TypeName {
    int number;
    char const* system;
    char const* human;
};
constexpr TypeName TYPE_NAMES[] = {
    {0, "AT_S_BOOL", "SingleBool"},      {1, "AT_S_BYTE", "SingleByte"},
    {2, "AT_S_DOUBLE", "SingleDouble"},  {3, "AT_S_ENUM", "SingleEnum"},
    {4, "AT_S_FLOAT", "SingleFloat"},    {5, "AT_S_FLOAT2", "SingleFloat2"},
    {6, "AT_S_FLOAT3", "SingleFloat3"},  {7, "AT_S_FLOAT4", "SingleFloat4"},
    {8, "AT_S_INT32", "SingleInt"},      {9, "AT_S_INT64", "SingleInt64"},
    {10, "AT_S_UINT32", "SingleUInt"},   {11, "AT_S_UINT64", "SingleUInt64"},
    {12, "AT_S_STRING", "SingleString"}, {13, "AT_S_VEC2", "SingleVec2"},
    {14, "AT_S_VEC3", "SingleVec3"},     {15, "AT_S_VEC4", "SingleVec4"},
    {16, "AT_S_QUAT", "SingleQuat"},     {17, "AT_S_MAT44", "SingleMatrix44"},
    {18, "AT_S_NODE_PTR", "SingleNode"}, {19, "AT_M_BOOL", "MultiBool"},
    {20, "AT_M_BYTE", "MultiByte"},      {21, "AT_M_DOUBLE", "MultiDouble"},
    {22, "AT_M_FLOAT", "MultiFloat"},    {23, "AT_M_FLOAT2", "MultiFloat2"},
    {24, "AT_M_FLOAT3", "MultiFloat3"},  {25, "AT_M_FLOAT4", "MultiFloat4"},
    {26, "AT_M_INT32", "MultiInt"},      {27, "AT_M_INT64", "MultiInt64"},
    {28, "AT_M_UINT32", "MultiUInt"},    {29, "AT_M_UINT64", "MultiUInt64"},
    {30, "AT_M_STRING", "MultiString"},  {31, "AT_M_VEC2", "MultiVec2"},
    {32, "AT_M_VEC3", "MultiVec3"},      {33, "AT_M_VEC4", "MultiVec4"},
    {34, "AT_M_QUAT", "MultiQuat"},      {35, "AT_M_NODE_PTR", "MultiNode"},
};

TEST(TypeNames, EveryTypeConvertsBothWays) {
    for (TypeName const& row : TYPE_NAMES) {
        SCOPED_TRACE(row.system);
        AttributeType const type = AttributeType(row.number);
        EXPECT_EQ(AttributeTypeToSystemName(type), row.system);
        EXPECT_EQ(AttributeTypeToString(type), QLatin1String(row.human));
        EXPECT_EQ(SystemNameToAttributeType(row.system), type);
        EXPECT_EQ(StringToAttributeType(QLatin1String(row.human)), type);
    }
}

TEST(TypeNames, UnknownInputGivesTheFallbacks) {
    for (int number : {36, -1, 1000}) {
        EXPECT_EQ(AttributeTypeToSystemName(AttributeType(number)), "invalid type");
        EXPECT_EQ(AttributeTypeToString(AttributeType(number)), QStringLiteral("invalid type"));
    }
    EXPECT_EQ(StringToAttributeType(QStringLiteral("singlebool")), 36);
    EXPECT_EQ(StringToAttributeType(QString()), 36);
    EXPECT_EQ(SystemNameToAttributeType("at_s_bool"), 36);
    EXPECT_EQ(SystemNameToAttributeType(std::string("AT_S_BOOL\0", 10)), 36);
}

TEST(ControlNames, MatchIgnoresCaseAndUnknownGivesFallbacks) {
    EXPECT_EQ(GUIControlTypeToString(gt_texture_2d_and_video_and_flash_filename),
              QStringLiteral("gt_texture_2d_and_video_and_flash_filename"));
    EXPECT_EQ(GUIControlTypeToString(gt_vendor_info), QStringLiteral("gt_vendor_info"));
    EXPECT_EQ(GUIControlTypeToString(GUIControlType(24)), QStringLiteral("gt_none"));
    EXPECT_EQ(GUIControlTypeToString(GUIControlType(-5)), QStringLiteral("gt_none"));
    EXPECT_EQ(StringToGUIControlType(QStringLiteral("GT_COLOR")), gt_color);
    EXPECT_EQ(StringToGUIControlType(QStringLiteral("gt_btf_filename")), gt_btf_filename);
    EXPECT_EQ(StringToGUIControlType(QStringLiteral("gt_colour")), 24);
    EXPECT_EQ(StringToGUIControlType(QString()), 24);
}

TEST(ControlNames, FirstLookupsFromManyThreadsAgree) {
    std::vector<std::thread> threads;
    std::vector<int> results(8, -1);
    for (std::size_t i = 0; i < results.size(); ++i) {
        threads.emplace_back([&results, i] {
            results[i] = StringToGUIControlType(QStringLiteral("gt_label")) +
                         StringToAttributeType(QStringLiteral("MultiQuat"));
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int result : results) {
        EXPECT_EQ(result, 17 + 34);
    }
}

TEST(AttributeNames, ValidationFollowsCharacterCategories) {
    for (char16_t const* good : {u"_a", u"a-b.c", u"x1", u"\u00e9t\u00e9", u"\u0391\u03b2",
                                 u"a\u0301", u"a\u02b0", u"\u2160x", u"_"}) {
        EXPECT_TRUE(validateAttributeName(QString::fromUtf16(good)))
            << QString::fromUtf16(good).toStdString();
    }
    for (char16_t const* bad :
         {u"", u"1a", u"-a", u".a", u"a b", u"a:b", u"a/b", u"\u02b0a", u"a\u00a7", u"a\t"}) {
        EXPECT_FALSE(validateAttributeName(QString::fromUtf16(bad)))
            << QString::fromUtf16(bad).toStdString();
    }
    // Surrogates are judged unit by unit: a lone one, or a pair, is refused.
    QString lone = QStringLiteral("ab");
    lone[1] = QChar(0xD800);
    EXPECT_FALSE(validateAttributeName(lone));
    lone[0] = QChar(0xDC00);
    EXPECT_FALSE(validateAttributeName(lone));
    EXPECT_FALSE(validateAttributeName(QString::fromUtf16(u"a\U0001D400")));
}

} // namespace
} // namespace Norv::Tavel
