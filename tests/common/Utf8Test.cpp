#include <gtest/gtest.h>

#include "common/Utf8.h"

using namespace folvane;

TEST(Utf8, ValidTextIsKeptAndCountedByCharacter)
{
    const std::string text = "K\xC3\xA4se \xE2\x82\xAC \xF0\x9F\x98\x80"; // "Käse € 😀"
    EXPECT_TRUE(IsValidUtf8(text));
    EXPECT_EQ(ValidUtf8(text), text);
    EXPECT_EQ(CodePointCount(text), 8u);
}

TEST(Utf8, EachInvalidSequenceBecomesOneReplacementCharacter)
{
    struct Case {
        std::string bytes, shown;
        std::size_t characters;
    } cases[] = {
        {"a\xFF" "b", "a\xEF\xBF\xBD" "b", 3},           // a byte that never starts a character
        {"\xC3", "\xEF\xBF\xBD", 1},                      // cut-off sequence at the end
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", 3}, // encoded surrogate
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD", 2},      // overlong "/"
    };
    for (const Case &c : cases) {
        EXPECT_FALSE(IsValidUtf8(c.bytes));
        EXPECT_EQ(ValidUtf8(c.bytes), c.shown);
        EXPECT_TRUE(IsValidUtf8(ValidUtf8(c.bytes)));
        EXPECT_EQ(CodePointCount(c.bytes), c.characters);
    }
}
