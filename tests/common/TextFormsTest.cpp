#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "common/TextForms.h"

using namespace folvane;

namespace {
LocalSeconds at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return FromCivil({y, mo, d, h, mi, s});
}
} // namespace

TEST(TextForms, DateTimeInBothForms)
{
    struct Case {
        TextForms forms;
        LocalSeconds t;
        const char *text;
    } cases[] = {
        {TextForms::EnUs(), at(2025, 3, 7, 14, 5, 9), "3/7/2025 2:05:09 PM"},
        {TextForms::EnUs(), at(2025, 12, 31, 0, 0, 1), "12/31/2025 12:00:01 AM"},
        {TextForms::EnUs(), at(2024, 2, 29, 12, 30, 0), "2/29/2024 12:30:00 PM"},
        {TextForms::EnUs(), at(2025, 3, 7), "3/7/2025"}, // midnight: date only
        {TextForms::DeDe(), at(2025, 3, 7, 14, 5, 9), "07.03.2025 14:05:09"},
        {TextForms::DeDe(), at(1999, 11, 1), "01.11.1999"},
        {TextForms::DeDe(), at(2038, 1, 19, 3, 14, 8), "19.01.2038 03:14:08"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(FormatDateTime(c.t, c.forms), c.text);
        auto parsed = ParseDateTime(c.text, c.forms);
        ASSERT_TRUE(parsed) << c.text;
        EXPECT_EQ(*parsed, c.t) << c.text;
    }
}

TEST(TextForms, TextsThatAreNoDateTimeDoNotParse)
{
    for (const char *text : {"", "2/30/2025", "13/1/2025", "3/7/2025 13:00:00 PM", "3/7/2025x", "3/7/2025 2:05",
                             "folder", "3/7/2025  2:05:09 PM PM"})
        EXPECT_FALSE(ParseDateTime(text, TextForms::EnUs())) << text;
    EXPECT_FALSE(ParseDateTime("3/7/2025", TextForms::DeDe()));
}

TEST(TextForms, SystemPatternsAreNormalisedToFourDigitYearsAndNoTimeZone)
{
    EXPECT_EQ(NormalizeShortDate("M/d/yy"), "M/d/yyyy");
    EXPECT_EQ(NormalizeShortDate("dd.MM.yy"), "dd.MM.yyyy");
    EXPECT_EQ(NormalizeShortDate("yyyy-MM-dd"), "yyyy-MM-dd");
    EXPECT_EQ(NormalizeShortDate("d 'y' yy"), "d 'y' yyyy");
    EXPECT_EQ(NormalizeLongTime("h:mm:ss AP t"), "h:mm:ss AP");
    EXPECT_EQ(NormalizeLongTime("HH:mm:ss tttt"), "HH:mm:ss");
    EXPECT_EQ(NormalizeLongTime("HH:mm:ss"), "HH:mm:ss");
}

TEST(TextForms, FixedTwoDecimalsRoundHalfAwayFromZero)
{
    struct Case {
        double value;
        bool grouped;
        const char *en, *de;
    } cases[] = {
        {0, false, "0.00", "0,00"},
        {100, false, "100.00", "100,00"},
        {100.0 / 3, false, "33.33", "33,33"},
        {200.0 / 3, false, "66.67", "66,67"},
        {0.125, false, "0.13", "0,13"},   // a tie goes away from zero
        {-0.125, false, "-0.13", "-0,13"},
        {1023, true, "1,023.00", "1.023,00"},
        {1234567.891, true, "1,234,567.89", "1.234.567,89"},
        {999.999, true, "1,000.00", "1.000,00"},
        // Ties as they are written, though the binary fraction lies just below: 1.005 is held as
        // 1.00499999..., and 0.285 × 100 comes out as 28.499999... in floating point.
        {1.005, false, "1.01", "1,01"},
        {0.285, false, "0.29", "0,29"},
        {-2.675, false, "-2.68", "-2,68"},
        {0.284999, false, "0.28", "0,28"},
        {1e20, true, "100,000,000,000,000,000,000.00", "100.000.000.000.000.000.000,00"},
        {1e-30, false, "0.00", "0,00"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(FormatFixed2(c.value, c.grouped, TextForms::EnUs()), c.en) << c.value;
        EXPECT_EQ(FormatFixed2(c.value, c.grouped, TextForms::DeDe()), c.de) << c.value;
    }
}

TEST(TextForms, FloatsReadWithTheUsersDecimalSeparatorOnly)
{
    struct Case {
        const char *text;
        bool en, de;
        double value;
    } cases[] = {
        {"12", true, true, 12},      {" 12.5 ", true, false, 12.5}, {"12,5", false, true, 12.5},
        {"-3", true, true, -3},      {"1e3", true, true, 1000},     {"1,000.00", false, false, 0},
        {"12%", false, false, 0},    {"", false, false, 0},         {"1.5 KB", false, false, 0},
        {"inf", false, false, 0},    {".5", true, false, 0.5},      {"+7", true, true, 7},
    };
    for (const Case &c : cases) {
        auto en = ParseFloat(c.text, TextForms::EnUs());
        auto de = ParseFloat(c.text, TextForms::DeDe());
        EXPECT_EQ(bool(en), c.en) << c.text;
        EXPECT_EQ(bool(de), c.de) << c.text;
        if (en) {
            EXPECT_DOUBLE_EQ(*en, c.value) << c.text;
        }
        if (de && !en) {
            EXPECT_DOUBLE_EQ(*de, c.value) << c.text;
        }
    }
}

TEST(TextForms, CivilConversionRoundTripsAcrossEras)
{
    for (LocalSeconds t : {LocalSeconds(0), LocalSeconds(-1), LocalSeconds(951782400), LocalSeconds(4102444799),
                           LocalSeconds(-2208988800), LocalSeconds(253402300799)}) {
        CivilTime c = ToCivil(t);
        EXPECT_EQ(FromCivil(c), t);
    }
    CivilTime c = ToCivil(-1);
    EXPECT_EQ(c.year, 1969);
    EXPECT_EQ(c.second, 59);
}

TEST(TextForms, LocalTimeUsesTheRulesInForceAtTheFilesOwnTime)
{
    // Berlin: +1 h in winter, +2 h in summer, whatever the season the scan runs in.
    const char *old = std::getenv("TZ");
    std::string saved = old ? old : "";
    ::setenv("TZ", "Europe/Berlin", 1);
    ::tzset();
    LocalSeconds winter = ToLocalSeconds(at(2025, 1, 15, 12, 0, 0));
    LocalSeconds summer = ToLocalSeconds(at(2025, 7, 15, 12, 0, 0));
    if (old)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
    EXPECT_EQ(winter, at(2025, 1, 15, 13, 0, 0));
    EXPECT_EQ(summer, at(2025, 7, 15, 14, 0, 0));
}
