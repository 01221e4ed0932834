// Reading Mavlin.script: which line governs a call and what a line asks for.
#include <gtest/gtest.h>

#include <string>

#include "script_line.h"

namespace tavrel::webpost {
namespace {

struct PickCase {
    const wchar_t* script;
    unsigned call;
    const wchar_t* line;  // nullptr: no line
    unsigned number;
};

TEST(ScriptLine, PicksTheLineOfTheCallAndReusesTheLastOne) {
    const PickCase cases[] = {
        {L"", 1, nullptr, 0},
        {L"\n# only a comment\n  \n", 1, nullptr, 0},
        {L"false\ntrue\n", 1, L"false", 1},
        {L"false\ntrue\n", 2, L"true", 2},
        {L"false\ntrue\n", 5, L"true", 2},
        {L"false\r\ntrue|reply1= a \r\n", 2, L"true|reply1= a ", 2},
        {L"# tries\nfalse\n\nint:1", 2, L"int:1", 4},
        {L"str:no newline at the end", 3, L"str:no newline at the end", 1},
    };
    for (const auto& c : cases) {
        const auto picked = pickScriptLine(c.script, c.call);
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.script)) + " call " +
                     std::to_string(c.call));
        ASSERT_EQ(picked.has_value(), c.line != nullptr);
        if (picked) {
            EXPECT_EQ(picked->text, c.line);
            EXPECT_EQ(picked->number, c.number);
        }
    }
}

TEST(ScriptLine, ReadsAnswersAndOptions) {
    std::wstring problem;
    const auto plain = parseScriptLine(L"false", problem);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->kind, AnswerKind::Boolean);
    EXPECT_FALSE(plain->boolean);
    EXPECT_FALSE(plain->replies[0] || plain->replies[2] || plain->report);

    const auto full = parseScriptLine(
        L"true|reply1=  delivered  |reply3=|report=<a b=\"1\"/>|delay=250|unload_delay=3600000",
        problem);
    ASSERT_TRUE(full) << testing::PrintToString(problem);
    EXPECT_TRUE(full->boolean);
    EXPECT_EQ(full->replies[0], L"  delivered  ");
    EXPECT_EQ(full->replies[2], L"");
    EXPECT_FALSE(full->replies[1] || full->replies[3]);
    EXPECT_EQ(full->report, L"<a b=\"1\"/>");
    EXPECT_EQ(full->delayMs, 250u);
    EXPECT_EQ(full->unloadDelayMs, 3600000u);

    const auto text = parseScriptLine(L"str: maybe = so |reply2=x", problem);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->kind, AnswerKind::Text);
    EXPECT_EQ(text->text, L" maybe = so ");

    const auto number = parseScriptLine(L"int:-7", problem);
    ASSERT_TRUE(number);
    EXPECT_EQ(number->kind, AnswerKind::Integer);
    EXPECT_EQ(number->integer, -7);

    const auto error = parseScriptLine(L"raise=0x80004005:Server said: no|reply1=unused", problem);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind, AnswerKind::Raise);
    EXPECT_EQ(error->raiseCode, 0x80004005u);
    EXPECT_EQ(error->text, L"Server said: no");
}

TEST(ScriptLine, RefusesLinesItCannotRead) {
    const wchar_t* lines[] = {
        L"yes",
        L"TRUE",
        L"int:",
        L"int:1x",
        L"int:99999999999",
        L"raise=:text",
        L"raise=0xZZ:text",
        L"true|delay=abc",
        L"true|delay=-1",
        L"true|delay=60001",
        L"true|unload_delay=3600001",
        L"true|reply5=x",
        L"true|reply1",
        L"true|",
        L"|true",
    };
    for (const auto* line : lines) {
        std::wstring problem;
        EXPECT_FALSE(parseScriptLine(line, problem)) << testing::PrintToString(std::wstring(line));
        EXPECT_FALSE(problem.empty());
    }
}

}  // namespace
}  // namespace tavrel::webpost
