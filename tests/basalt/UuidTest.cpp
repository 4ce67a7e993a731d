#include <basalt/Uuid.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <typeinfo>
#include <unordered_set>

using norv::basalt::Uuid;

namespace {
char const NODE_ID[] = "{92F11271-E81E-4945-B01D-40134F3A3C5D}";
}

TEST(Uuid, AcceptedFormsParseToTheSameIdentifierAndEmptyIsAllZero) {
    Uuid const reference(NODE_ID);
    EXPECT_EQ(reference.toString(), NODE_ID);
    EXPECT_EQ(reference.bytes()[0], 0x92);
    EXPECT_EQ(reference.bytes()[15], 0x5D);
    for (char const* text :
         {"{92f11271-e81e-4945-b01d-40134f3a3c5d}", "92F11271-E81E-4945-B01D-40134F3A3C5D",
          "92f11271e81e4945b01d40134f3a3c5d", "{92F11271E81E4945B01D40134F3A3C5D}"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(Uuid(text), reference);
        EXPECT_EQ(Uuid(std::string(text)), reference);
    }
    EXPECT_EQ(Uuid(reference.bytes()), reference);
    EXPECT_FALSE(reference.isEmpty());

    Uuid const empty;
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_EQ(empty.toString(), "{00000000-0000-0000-0000-000000000000}");
    EXPECT_EQ(Uuid("{00000000-0000-0000-0000-000000000000}"), empty);
}

TEST(Uuid, MalformedTextThrowsPlainRuntimeError) {
    std::string const good = "92F11271-E81E-4945-B01D-40134F3A3C5D";
    std::string const cases[] = {
        "",
        "{",
        "{}",
        good.substr(0, good.size() - 1),        // one digit short
        good + "0",                             // one digit too many
        "{" + good,                             // unclosed brace
        good + "}",                             // closing brace alone
        "(" + good + ")",                       // wrong brackets
        "92F11271E81E-4945-B01D-40134F3A3C5D",  // first dash missing
        "92F11271-E81E4945-B01D-40134F3A3C5D",  // later dash missing
        "92F1127-1E81E-4945-B01D-40134F3A3C5D", // dash misplaced
        "G2F11271-E81E-4945-B01D-40134F3A3C5D", // not a digit
        good + " ",                             // trailing text
        std::string("92F11271\0E81E", 13),      // embedded null
        "\xC3\xA9"
        "2F11271-E81E-4945-B01D-40134F3A3C5D", // non-ASCII
    };
    auto expectInvalid = [](auto&& parse) {
        try {
            parse();
            ADD_FAILURE() << "accepted";
        } catch (std::runtime_error const& e) {
            EXPECT_EQ(typeid(e), typeid(std::runtime_error));
            EXPECT_STREQ(e.what(), "invalid uuid string");
        }
    };
    for (std::string const& text : cases) {
        SCOPED_TRACE(text);
        expectInvalid([&] { Uuid parsed(text); });
        expectInvalid([&] { Uuid parsed(text.c_str()); });
    }
    expectInvalid([] { Uuid parsed(static_cast<char const*>(nullptr)); });
}

TEST(Uuid, OrdersByUnsignedBytesAndHashesByValue) {
    Uuid::Bytes low{};
    Uuid::Bytes high{};
    low[0] = 0x7F;
    high[0] = 0x80;
    EXPECT_LT(Uuid(low), Uuid(high));
    EXPECT_FALSE(Uuid(high) < Uuid(low));
    low[0] = 0x80;
    low[15] = 0x01;
    EXPECT_LT(Uuid(high), Uuid(low));

    std::unordered_set<Uuid> ids{Uuid(NODE_ID), Uuid(std::string(NODE_ID)), Uuid()};
    EXPECT_EQ(ids.size(), 2u);
}
