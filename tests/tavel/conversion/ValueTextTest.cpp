#include <tavel/attributes/CreateAttribute.h>
#include <tavel/attributes/DataMA.h>
#include <tavel/attributes/DataSA.h>
#include <tavel/attributes/DataSAEnum.h>
#include <tavel/conversion/Utilities.h>
#include <tavel/nodes/CustomNode.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>

namespace Norv::Tavel {
namespace {

using namespace Utilities;
using norv::basalt::Ref;

QString textOf(Attribute const& attribute, int precision = 9) {
    return convertAttributeValueToString(attribute, QLatin1Char(' '), QLatin1Char(';'), 'g',
                                         precision);
}

boost::shared_ptr<Attribute> makeEnum() {
    auto attribute = createAttribute(AT_S_ENUM, nullptr, false);
    dynamic_cast<SAEnum&>(*attribute).setStringValues({QStringLiteral("a"), QStringLiteral("ab")});
    return attribute;
}

Mat44f rowMajorSample() {
    Mat44f m;
    for (int i = 0; i < 16; ++i) {
        m[std::size_t(i / 4)][std::size_t(i % 4)] = float(i) + 0.5f;
    }
    return m;
}

struct TextRow {
    AttributeType type;
    AttributeValue value; // empty: keep the new attribute's value
    char const* text;     // with ' ', ';', 'g', 6
};

// Every kind's text; every bool, number, vector, quaternion and matrix kind
// also reads back exactly from its text at precision 9 (floats) or 17
// (doubles), into an attribute that held something else.
TEST(ValueText, EveryKindWritesItsTextAndNumbersReadBackExactly) {
    using I64 = std::numeric_limits<std::int64_t>;
    using U64 = std::numeric_limits<std::uint64_t>;
    using F = std::numeric_limits<float>;
    using D = std::numeric_limits<double>;
    int const intMin = std::numeric_limits<int>::min();
    TextRow const rows[] = {
        {AT_S_BOOL, AttributeValue(true), "true"},
        {AT_S_BYTE, AttributeValue((unsigned char)255), "255"},
        {AT_S_DOUBLE, AttributeValue(-D::infinity()), "-inf"},
        {AT_S_ENUM, {}, "<a>, <a>b"},
        {AT_S_FLOAT, AttributeValue(F::quiet_NaN()), "nan"},
        {AT_S_FLOAT2, AttributeValue(FloatVec2(1, -2)), "1 -2"},
        {AT_S_FLOAT3, AttributeValue(FloatVec3(1, 2, 3.5)), "1 2 3.5"},
        {AT_S_FLOAT4, AttributeValue(FloatVec4(1, 2, 3, 1e10f)), "1 2 3 1e+10"},
        {AT_S_INT32, AttributeValue(intMin), "-2147483648"},
        {AT_S_INT64, AttributeValue(I64::min()), "-9223372036854775808"},
        {AT_S_UINT32, AttributeValue(4294967295u), "4294967295"},
        {AT_S_UINT64, AttributeValue(U64::max()), "18446744073709551615"},
        {AT_S_STRING, AttributeValue(QStringLiteral("a \"b\";c")), "a \"b\";c"},
        {AT_S_VEC2, AttributeValue(Vec2f(0.5f, 1e-7f)), "0.5 1e-07"},
        {AT_S_VEC3, AttributeValue(Vec3f(1, 2, 3)), "1 2 3"},
        {AT_S_VEC4, AttributeValue(Vec4f(1, 2, 3, 4)), "1 2 3 4"},
        {AT_S_QUAT, AttributeValue(Quatf(0, 0, 0, 1)), "0 0 0 1"},
        {AT_S_MAT44, AttributeValue(rowMajorSample()),
         "0.5 1.5 2.5 3.5 4.5 5.5 6.5 7.5 8.5 9.5 10.5 11.5 12.5 13.5 14.5 15.5"},
        {AT_S_NODE_PTR, AttributeValue(NodeRef(CustomNode::create(nullptr))), ""},
        {AT_M_BOOL, AttributeValue(std::vector<bool>{true, false}), "true;false"},
        {AT_M_BYTE, AttributeValue(std::vector<unsigned char>{0, 255}), "0;255"},
        {AT_M_DOUBLE, AttributeValue(std::vector<double>{1.0 / 3, D::quiet_NaN(), D::denorm_min()}),
         "0.333333;nan;4.94066e-324"},
        // Not the largest float: its 9-digit text lies above it and toFloat refuses it.
        {AT_M_FLOAT,
         AttributeValue(
             std::vector<float>{F::denorm_min(), -std::nextafter(F::max(), 0.f), F::infinity()}),
         "1.4013e-45;-3.40282e+38;inf"},
        {AT_M_FLOAT2, AttributeValue(std::vector<FloatVec2>{{1, 2}, {3, 4}}), "1 2;3 4"},
        {AT_M_FLOAT3, AttributeValue(std::vector<FloatVec3>{{1, 2, 3}, {4, 5, 6}}), "1 2 3;4 5 6"},
        {AT_M_FLOAT4, AttributeValue(std::vector<FloatVec4>{{1, 2, 3, 4}}), "1 2 3 4"},
        {AT_M_INT32, AttributeValue(std::vector<int>{intMin, 7}), "-2147483648;7"},
        {AT_M_INT64, AttributeValue(std::vector<std::int64_t>{I64::max()}), "9223372036854775807"},
        {AT_M_UINT32, AttributeValue(std::vector<unsigned>{4294967295u}), "4294967295"},
        {AT_M_UINT64, AttributeValue(std::vector<std::uint64_t>{0, 9}), "0;9"},
        {AT_M_STRING, AttributeValue(std::vector<QString>{QStringLiteral("abc"), QString()}),
         "\"abc\";\"\""},
        {AT_M_VEC2, AttributeValue(std::vector<Vec2f>{{1, 2}}), "1 2"},
        {AT_M_VEC3, AttributeValue(std::vector<Vec3f>{{1, 2, 3}, {0, 0, 0}}), "1 2 3;0 0 0"},
        {AT_M_VEC4, AttributeValue(std::vector<Vec4f>{}), ""},
        {AT_M_QUAT, AttributeValue(std::vector<Quatf>{{0, 0, 0, 1}, {1, 0, 0, 0}}),
         "0 0 0 1;1 0 0 0"},
        {AT_M_NODE_PTR, AttributeValue(std::vector<NodeRef>{CustomNode::create(nullptr)}), ""},
    };
    static_assert(sizeof(rows) / sizeof(rows[0]) == ATTRIBUTE_TYPE_COUNT);
    int readBack = 0;
    for (TextRow const& row : rows) {
        SCOPED_TRACE(AttributeTypeToSystemName(row.type));
        auto attribute =
            row.type == AT_S_ENUM ? makeEnum() : createAttribute(row.type, nullptr, false);
        if (!row.value.empty()) {
            attribute->setGeneric(row.value);
        }
        EXPECT_EQ(textOf(*attribute, 6), QString::fromUtf8(row.text));
        EXPECT_EQ(convertAttributeValueToStdString(*attribute, ' ', ';', 'g', 6), row.text);

        bool const numeric = row.type != AT_S_ENUM && row.type != AT_S_STRING &&
                             row.type != AT_M_STRING && row.type != AT_S_NODE_PTR &&
                             row.type != AT_M_NODE_PTR;
        if (numeric) {
            // At these precisions equal texts mean equal values.
            int const precision = row.type == AT_S_DOUBLE || row.type == AT_M_DOUBLE ? 17 : 9;
            auto target = createAttribute(row.type, nullptr, false);
            EXPECT_TRUE(setAttributeFromString(*target, textOf(*attribute, precision),
                                               QLatin1Char(' '), QLatin1Char(';')));
            EXPECT_EQ(textOf(*target, precision), textOf(*attribute, precision));
            ++readBack;
        }
    }
    EXPECT_EQ(readBack, 31);
}

// A host attribute that reports a number outside the kinds.
class OddKind : public DataSA<AT_S_BOOL> {
public:
    explicit OddKind(int type) : DataSA(nullptr, false, gt_none), m_type(type) {}
    AttributeType getAttributeType() const override { return AttributeType(m_type); }

private:
    int m_type;
};

TEST(ValueText, NumbersOutsideTheKindsGiveTheirFallbacks) {
    for (int type : {36, 37, 38, -1}) {
        OddKind attribute(type);
        EXPECT_EQ(textOf(attribute), type <= 37 && type >= 36 ? QStringLiteral("?") : QString());
        EXPECT_FALSE(setAttributeFromString(attribute, QStringLiteral("true"), QLatin1Char(' '),
                                            QLatin1Char(';')));
        EXPECT_FALSE(attribute.get());
    }
}

TEST(ValueText, HugePrecisionsStopAtTheExactValue) {
    DataSA<AT_S_DOUBLE> number(nullptr, 1.5, gt_none);
    QString const text = convertAttributeValueToString(number, QLatin1Char(' '), QLatin1Char(';'),
                                                       'f', std::numeric_limits<int>::max());
    EXPECT_EQ(text, QStringLiteral("1.") + QLatin1Char('5') + QString(1073, QLatin1Char('0')));
}

TEST(ValueText, EnumTextWithoutACurrentNameHasNoMarker) {
    DataSAEnum attribute(nullptr, {QStringLiteral("a"), QStringLiteral("b")}, 5, gt_enum);
    EXPECT_EQ(textOf(attribute), QStringLiteral("a, b"));
    attribute.clearEnums();
    EXPECT_EQ(textOf(attribute), QString());
    DataSAEnum emptyName(nullptr, {QString(), QStringLiteral("b")}, 0, gt_enum);
    EXPECT_EQ(textOf(emptyName), QStringLiteral(", b"));
}

struct ParseRow {
    AttributeType type;
    char const* text;
    bool accepted;
    char const* after; // the value text afterwards, ' ', ';', 'g', 9
    char component = ' ';
    char element = ';';
};

// Each attribute starts at the value its kind's first row gives it; a row
// that is refused must leave it so, without any report.
TEST(ValueText, ParsersAcceptWhatTheKindAllowsAndRefuseTheRest) {
    ParseRow const rows[] = {
        {AT_S_BOOL, "TRUE", true, "true"},
        {AT_S_BOOL, "0", true, "false"},
        {AT_S_BOOL, "yes", false, "false"},
        {AT_S_BOOL, " true", false, "false"},
        {AT_S_BYTE, "255", true, "255"},
        {AT_S_BYTE, "256", false, "255"},
        {AT_S_BYTE, "-1", false, "255"},
        {AT_S_BYTE, "0x10", false, "255"},
        {AT_S_BYTE, " 7 ", true, "7"},
        {AT_S_INT32, "-2147483648", true, "-2147483648"},
        {AT_S_INT32, "2147483648", false, "-2147483648"},
        {AT_S_INT32, "1e3", false, "-2147483648"},
        {AT_S_INT32, "+5", true, "5"},
        {AT_S_INT64, "9223372036854775808", false, "0"},
        {AT_S_UINT32, "-1", false, "0"},
        {AT_S_UINT32, "4294967296", false, "0"},
        {AT_S_UINT64, "18446744073709551615", true, "18446744073709551615"},
        {AT_S_UINT64, "-1", false, "18446744073709551615"},
        {AT_S_DOUBLE, "1e3", true, "1000"},
        {AT_S_DOUBLE, "-inf", true, "-inf"},
        {AT_S_DOUBLE, "NaN", true, "nan"},
        {AT_S_DOUBLE, "Infinity", false, "nan"},
        {AT_S_DOUBLE, "0x1p3", false, "nan"},
        {AT_S_FLOAT, "1e39", false, "0"},
        {AT_S_FLOAT, "1e-46", false, "0"},
        {AT_S_FLOAT, "  2.5\t", true, "2.5"},
        {AT_S_VEC3, "1 2 3", true, "1 2 3"},
        {AT_S_VEC3, "4 5", false, "1 2 3"},
        {AT_S_VEC3, "4 5 6 7", false, "1 2 3"},
        {AT_S_VEC3, "4 x 6", false, "1 2 3"},
        {AT_S_VEC3, "  4  5 6 ", true, "4 5 6"},
        {AT_S_VEC3, "1-2--3", true, "1 2 3", '-'}, // a sign as separator eats the signs
        {AT_S_VEC3, "213141", true, "2 3 4", '1'}, // so does a digit
        {AT_S_MAT44, "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16", true,
         "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"},
        {AT_S_MAT44, "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 x", false,
         "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"},
        {AT_S_ENUM, "b", true, "a, <b>"},
        {AT_S_ENUM, "0", true, "<a>, b"},
        {AT_S_ENUM, "2", false, "<a>, b"},
        {AT_S_ENUM, "-1", false, "<a>, b"},
        {AT_S_ENUM, " b", false, "<a>, b"},
        {AT_S_STRING, " x;y ", true, " x;y "},
        {AT_S_NODE_PTR, "anything", true, ""},
        {AT_M_INT32, "1;2", true, "1;2"},
        {AT_M_INT32, "1;x;3", false, "1;2"},
        {AT_M_INT32, ";;4;;5;", true, "4;5"},
        {AT_M_INT32, ";;", true, ""},
        {AT_M_BYTE, "1;256", false, ""},
        {AT_M_BOOL, "true;0;TRUE", true, "true;false;true"},
        {AT_M_FLOAT3, "1 2 3;4 5 6", true, "1 2 3;4 5 6"},
        {AT_M_FLOAT3, "1 2 3;4 5", false, "1 2 3;4 5 6"},
        {AT_M_FLOAT3, "1 2 3", false, "1 2 3;4 5 6", ' ', ' '}, // one separator for both
        {AT_M_QUAT, "1 2 3 4;1 2 3", false, ""},
        {AT_M_STRING, "\"abc\";;x", true, "\"\"abc\"\";\"x\""},
    };
    std::map<AttributeType, Attribute*> attributes;
    Ref<CustomNode> node = CustomNode::create(nullptr);
    int reports = 0;
    node->subscribeForNodeChangeNotification([&](auto&&...) { ++reports; });
    for (ParseRow const& row : rows) {
        std::string const trace = AttributeTypeToSystemName(row.type) + " '" + row.text + "'";
        SCOPED_TRACE(trace);
        Attribute*& attribute = attributes[row.type];
        if (attribute == nullptr) {
            attribute =
                &node->registerAttribute(QStringLiteral("k%1").arg(int(row.type)), row.type);
            if (row.type == AT_S_ENUM) {
                dynamic_cast<SAEnum&>(*attribute)
                    .setStringValues({QStringLiteral("a"), QStringLiteral("b")});
            }
        }
        QString const before = textOf(*attribute);
        std::int64_t const incarnation = attribute->getIncarnation();
        reports = 0;
        EXPECT_EQ(setAttributeFromString(*attribute, QString::fromUtf8(row.text),
                                         QLatin1Char(row.component), QLatin1Char(row.element)),
                  row.accepted);
        EXPECT_EQ(textOf(*attribute), QString::fromUtf8(row.after));
        if (!row.accepted) {
            EXPECT_EQ(textOf(*attribute), before);
            EXPECT_EQ(attribute->getIncarnation(), incarnation);
        }
        EXPECT_LE(reports, 1);
    }
}

// The store is the last step: a subscriber may set again or drop the node.
TEST(ValueText, SubscribersMaySetAgainAndDropTheNode) {
    Ref<CustomNode> node = CustomNode::create(nullptr);
    Attribute& list = node->registerAttribute("list", AT_M_INT32);
    std::vector<QString> heard;
    node->subscribeForNodeChangeNotification([&](ChangeAction action, Node const&, auto) {
        if (action != CA_VALUE_CHANGED) {
            return;
        }
        heard.push_back(textOf(list));
        if (heard.size() == 1) {
            EXPECT_TRUE(setAttributeFromString(list, QStringLiteral("7"), QLatin1Char(' '),
                                               QLatin1Char(';')));
        } else {
            node = nullptr;
        }
    });
    EXPECT_TRUE(
        setAttributeFromString(list, QStringLiteral("1;2"), QLatin1Char(' '), QLatin1Char(';')));
    EXPECT_EQ(heard, (std::vector<QString>{QStringLiteral("1;2"), QStringLiteral("7")}));
    EXPECT_FALSE(node);
}

TEST(ValueText, StdStringFormsEndAtNulAndUseUtf8) {
    DataSA<AT_S_INT32> number(nullptr, 3, gt_none);
    EXPECT_TRUE(setAttributeFromString(number, std::string("12\0 x", 5), ' ', ';'));
    EXPECT_EQ(number.get(), 12);
    EXPECT_FALSE(setAttributeFromString(number, std::string("1\xff"), ' ', ';'));
    // Qt 6 alone would read the digits before the NUL.
    QString const withNul = QString::fromUtf8("1\0x", 3);
    EXPECT_FALSE(setAttributeFromString(number, withNul, QLatin1Char(' '), QLatin1Char(';')));
    EXPECT_EQ(number.get(), 12);
    DataSAEnum choice(nullptr, {QStringLiteral("a"), QStringLiteral("b")}, 0, gt_enum);
    EXPECT_FALSE(setAttributeFromString(choice, withNul, QLatin1Char(' '), QLatin1Char(';')));
    EXPECT_EQ(choice.get(), 0u);

    DataSA<AT_S_STRING> text(nullptr, QString(), gt_none);
    EXPECT_TRUE(setAttributeFromString(text, std::string("\xc3\xa9t\xff"), ' ', ';'));
    EXPECT_EQ(text.get(), QString::fromUtf8("\xc3\xa9t\xef\xbf\xbd"));
    text.set(QString::fromUtf8("a\0b", 3));
    EXPECT_EQ(convertAttributeValueToStdString(text, ' ', ';', 'g', 6), "a");

    // Separators are Latin-1 characters, written as UTF-8.
    DataMA<AT_M_INT32> list(nullptr, {}, gt_none);
    EXPECT_TRUE(setAttributeFromString(list,
                                       std::string("1\xc3\xa9"
                                                   "2"),
                                       ' ', '\xe9'));
    EXPECT_EQ(list.get(), (std::vector<int>{1, 2}));
    EXPECT_EQ(convertAttributeValueToStdString(list, ' ', '\xe9', 'g', 6), "1\xc3\xa9"
                                                                           "2");
}

TEST(ValueText, HugeTextsParseWithoutHarm) {
    QString const digits(1 << 20, QLatin1Char('7'));
    DataSA<AT_S_DOUBLE> number(nullptr, 1.0, gt_none);
    EXPECT_FALSE(setAttributeFromString(number, digits, QLatin1Char(' '), QLatin1Char(';')));
    EXPECT_EQ(number.get(), 1.0);

    QString list;
    for (int i = 0; i < (1 << 19); ++i) {
        list += QLatin1String("1;");
    }
    DataMA<AT_M_BYTE> bytes(nullptr, {}, gt_none);
    EXPECT_TRUE(setAttributeFromString(bytes, list, QLatin1Char(' '), QLatin1Char(';')));
    EXPECT_EQ(bytes.getSize(), std::size_t(1) << 19);

    DataSA<AT_S_STRING> text(nullptr, QString(), gt_none);
    EXPECT_TRUE(setAttributeFromString(text, digits, QLatin1Char(' '), QLatin1Char(';')));
    EXPECT_EQ(text.get().size(), digits.size());
}

} // namespace
} // namespace Norv::Tavel
