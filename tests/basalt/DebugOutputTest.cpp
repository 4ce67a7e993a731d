#include <basalt/DebugOutput.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace norv::basalt;

TEST(DebugOutput, HandlerCapturesEachWriteAndCanBeRestored) {
    std::vector<std::u16string> captured;
    DebugOutputHandler const previous =
        setDebugOutputHandler([&](std::u16string const& text) { captured.push_back(text); });
    EXPECT_FALSE(previous);

    outputDebugString(u"Dangling nodes:\n");
    outputDebugString(u"");
    EXPECT_EQ(captured, (std::vector<std::u16string>{u"Dangling nodes:\n", u""}));

    EXPECT_TRUE(setDebugOutputHandler(previous));
    outputDebugString(u"debug output restored\n");
    EXPECT_EQ(captured.size(), 2u);
}

TEST(DebugOutput, HandlerMayReplaceItselfWhileRunning) {
    int calls = 0;
    setDebugOutputHandler([&](std::u16string const&) {
        ++calls;
        setDebugOutputHandler([&](std::u16string const&) { calls += 10; });
    });
    outputDebugString(u"first");
    outputDebugString(u"second");
    setDebugOutputHandler(nullptr);
    EXPECT_EQ(calls, 11);
}

TEST(DebugOutput, DefaultWritesUtf8ToStandardError) {
    testing::internal::CaptureStderr();
    outputDebugString(u"Gr\u00FC\u00DFe \U0001F600\n");
    outputDebugString(u"second write");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Gr\xC3\xBC\xC3\x9F"
                                                      "e \xF0\x9F\x98\x80\nsecond write");
}
