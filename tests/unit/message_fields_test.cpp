// The messages between the run and the web-post library's child: what one side writes,
// the other reads back whole, and bytes that are not a message read as nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/message_fields.h"
#include "platform/text.h"

namespace tavrel {
namespace {

TEST(MessageFields, FieldsComeBackWholeAndAnythingElseReadsAsNothing) {
    const std::string message = encodeFields({L"answer", L"", L"r\u00e9ply \x01", L"1"});
    EXPECT_EQ(decodeFields(message, 4),
              (std::vector<std::wstring>{L"answer", L"", L"r\u00e9ply \x01", L"1"}));
    EXPECT_EQ(decodeFields(encodeFields({}), 0), std::vector<std::wstring>{});

    const std::string notMessages[] = {
        "",
        message.substr(0, message.size() - 1),  // cut short
        message + std::string(4, '\0'),         // more than it holds
        std::string("\xFF\xFF\xFF\x7F", 4),     // a count beyond the bytes
        "garbled",
        encodeFields({L"1", L"2", L"3", L"4", L"5"}),  // more fields than a message has
        // Four million empty fields: nothing is sized from the count before it is checked.
        std::string("\x00\x09\x3D\x00", 4) + std::string(16000000, '\0'),
    };
    for (const std::string& bytes : notMessages) {
        EXPECT_FALSE(decodeFields(bytes, 4)) << testing::PrintToString(bytes.substr(0, 16));
    }
}

TEST(DecimalText, NumbersAreWrittenInDecimal) {
    EXPECT_EQ(decimalText(0), L"0");
    EXPECT_EQ(decimalText(1800), L"1800");
    EXPECT_EQ(decimalText(18446744073709551615ull), L"18446744073709551615");
    EXPECT_EQ(signedDecimalText(-2147467259), L"-2147467259");
    EXPECT_EQ(signedDecimalText(INT64_MIN), L"-9223372036854775808");
}

}  // namespace
}  // namespace tavrel
