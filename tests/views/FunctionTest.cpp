#include "common/uFunction.h"

#include <gtest/gtest.h>

namespace folvane {
namespace {

struct FormsGuard {
    explicit FormsGuard(const TextForms &f) { SetForms(f); }
    ~FormsGuard() { SetForms(TextForms::EnUs()); }
};

TEST(PercentText, RoundsTiesAwayFromZeroExactlyForAnySize)
{
    constexpr std::uint64_t k62 = std::uint64_t(1) << 62, k63 = std::uint64_t(1) << 63;
    struct Case {
        std::uint64_t part, total;
        const char *en, *de;
    } cases[] = {
        {23, 160, "14.38", "14,38"},  // 14.375: as a binary fraction 14.374999...
        {41, 160, "25.63", "25,63"},  // 25.625
        {137, 160, "85.63", "85,63"}, // 85.625
        {1, 800, "0.13", "0,13"},     // 0.125
        {1, 3, "33.33", "33,33"},
        {2, 3, "66.67", "66,67"},
        {k62, k63, "50.00", "50,00"},
        // part × 10,000 far beyond 64 bits; the last is a tie too (2^63 - 0.5 hundredths).
        {UINT64_MAX, UINT64_MAX, "100.00", "100,00"},
        {UINT64_MAX - 1, UINT64_MAX, "100.00", "100,00"},
        {UINT64_MAX, 1, "1844674407370955161500.00", "1844674407370955161500,00"},
        {UINT64_MAX, 20000, "92233720368547758.08", "92233720368547758,08"},
        {0, 7, "0.00", "0,00"},
        {5, 0, "0", "0"},
        {0, 0, "0", "0"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(PercentText(c.part, c.total, TextForms::EnUs()), c.en) << c.part << " of " << c.total;
        EXPECT_EQ(PercentText(c.part, c.total, TextForms::DeDe()), c.de) << c.part << " of " << c.total;
    }
    EXPECT_EQ(PercentHundredths(23, 160), 1438);
    EXPECT_EQ(PercentHundredths(k62 + 1, k63 + 3), 5000); // 4999.99999999999999946 rounds up
}

TEST(CompareNumericText, NumbersNotTextAndNeverZero)
{
    FormsGuard en(TextForms::EnUs());
    struct Case {
        const char *a, *b;
        int expected;
    } cases[] = {
        {"9", "10", -1},     {"10", "9", 1},       {"1000", "20000", -1}, {"5", "5", -1},
        {"0", "0", -1},      {"abc", "1", -1},     {"1", "abc", 1},       {"abc", "xyz", -1},
        {"", "-1", 1},       {"1,5", "1", -1},     {"2.5", "2.25", 1},    {"12.35%", "1", -1},
        {"1e3", "999", 1},   {" 7 ", "6", 1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(CompareNumericText(c.a, c.b), c.expected) << c.a << " vs " << c.b;
    EXPECT_TRUE(IsNumeric("2.5"));
    EXPECT_FALSE(IsNumeric("1,000"));
    EXPECT_FALSE(IsNumeric(""));
}

TEST(CompareNumericText, UsesTheUsersDecimalSeparator)
{
    FormsGuard de(TextForms::DeDe());
    EXPECT_TRUE(IsNumeric("1,5"));
    EXPECT_FALSE(IsNumeric("1.5"));
    EXPECT_EQ(CompareNumericText("1,5", "1,25"), 1);
    EXPECT_EQ(CompareNumericText("1.000", "2"), -1); // grouping is not a number: 0
}

TEST(CompareDateText, EmptyUnreadableAndOrder)
{
    FormsGuard en(TextForms::EnUs());
    struct Case {
        const char *a, *b;
        int expected;
    } cases[] = {
        {"", "", -1},
        {"", "1/2/2024", -1},
        {"1/2/2024", "", 1},
        {"garbage", "1/2/2024", 1},
        {"1/2/2024", "garbage", 1},
        {"1/2/2024 3:04:05 PM", "1/2/2024 3:04:05 PM", 0},
        {"1/2/2024", "1/2/2024 12:00:00 AM", 0},
        {"12/31/2023 11:59:59 PM", "1/1/2024", -1},
        {"1/1/2024", "12/31/2023 11:59:59 PM", 1},
        {"2/1/2024", "1/31/2024 1:00:00 PM", 1},
        {"1/2/2024 9:00:00 AM", "1/2/2024 10:00:00 AM", -1},
        {"1/2/1925", "1/2/2025", -1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(CompareDateText(c.a, c.b), c.expected) << c.a << " vs " << c.b;
}

TEST(CompareDateText, GermanFormsAcrossDaysMonthsYears)
{
    FormsGuard de(TextForms::DeDe());
    EXPECT_EQ(CompareDateText("31.12.2023 23:59:59", "01.01.2024"), -1);
    EXPECT_EQ(CompareDateText("02.01.2024", "01.02.2024"), -1); // day first
    EXPECT_EQ(CompareDateText("1/2/2024", "01.02.2024"), 1);    // not in these forms
}

TEST(DateTextRoundTrips, OnlyWhenTheFormsHoldEveryField)
{
    const LocalSeconds t = FromCivil({2024, 3, 9, 17, 5, 42});
    {
        FormsGuard en(TextForms::EnUs());
        EXPECT_TRUE(DateTextRoundTrips(t));
        EXPECT_FALSE(DateTextRoundTrips(FromCivil({10000, 1, 1, 0, 0, 0})));
    }
    {
        FormsGuard de(TextForms::DeDe());
        EXPECT_TRUE(DateTextRoundTrips(t));
    }
    TextForms noSeconds = TextForms::DeDe();
    noSeconds.longTime = "HH:mm";
    FormsGuard guard(noSeconds);
    EXPECT_FALSE(DateTextRoundTrips(t));
    TextForms dayNames = TextForms::EnUs();
    dayNames.shortDate = "dddd M yyyy";
    SetForms(dayNames);
    EXPECT_FALSE(DateTextRoundTrips(t));
}

TEST(CompareTextIgnoreAsciiCase, OnlyAToZFold)
{
    struct Case {
        const char *a, *b;
        int expected;
    } cases[] = {
        {"abc", "ABD", -1}, {"a", "A", 0},   {"ab", "abc", -1}, {"abc", "ab", 1}, {"", "", 0},
        {"_", "a", 1},      {"_", "A", 1},   {"Z", "a", 1},     {"\xC3\xA4", "\xC3\x84", 1}, // ä after Ä
        {"file10", "file9", -1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(CompareTextIgnoreAsciiCase(c.a, c.b), c.expected) << c.a << " vs " << c.b;
}

TEST(FoldCase, LettersOfCommonScriptsFoldOthersStay)
{
    EXPECT_EQ(FoldCase("TXT"), "txt");
    EXPECT_TRUE(EqualIgnoreCase("Txt", "tXT"));
    EXPECT_TRUE(EqualIgnoreCase("\xC3\x84\xC3\x96", "\xC3\xA4\xC3\xB6"));     // ÄÖ äö
    EXPECT_TRUE(EqualIgnoreCase("\xCE\xA9", "\xCF\x89"));                     // Ω ω
    EXPECT_TRUE(EqualIgnoreCase("\xD0\x96", "\xD0\xB6"));                     // Ж ж
    EXPECT_TRUE(EqualIgnoreCase("\xC5\x81", "\xC5\x82"));                     // Ł ł
    EXPECT_FALSE(EqualIgnoreCase("a=b", "a"));
    EXPECT_FALSE(EqualIgnoreCase("txt", "tx"));
    EXPECT_EQ(FoldCase("\xFF" "A"), "\xFF" "a"); // a stray byte is kept
}

TEST(PathRoutines, FileUrlAndFolder)
{
    EXPECT_EQ(FileUrlOf("/home/a b/\xC3\xBC%"), "file:///home/a%20b/%C3%BC%25");
    EXPECT_EQ(FileUrlOf("/x/\xFF"), "file:///x/%FF");
    struct Case {
        const char *path, *folder;
    } cases[] = {{"/data/a.txt", "/data"}, {"/a.txt", "/"}, {"/data/sub/", "/data/sub"}, {"a.txt", ""}};
    for (const Case &c : cases)
        EXPECT_EQ(FolderOf(c.path), c.folder) << c.path;
}

} // namespace
} // namespace folvane
