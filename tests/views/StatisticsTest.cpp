#include "views/Statistics.h"

#include <random>

#include <gtest/gtest.h>

#include "common/Utf8.h"

namespace folvane {
namespace {

const std::vector<std::int64_t> kAgeBounds = {1, 3, 7, 30, 365};
const std::vector<std::int64_t> kSizeBounds = {10000, 100000, 1000000, 10000000, 100000000, 1000000000};

TEST(SizeClassOf, BoundaryBelongsToTheNextClass)
{
    struct Case {
        const char *size, *expected;
    } cases[] = {
        {"0", "0"},          {"9999", "0"},       {"10000", "1"},      {"99999", "1"},      {"100000", "2"},
        {"999999999", "5"},  {"1000000000", "6"}, {"5000000000", "6"}, {"9999.5", "0"},    {"-1", "0"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(SizeClassOf(c.size, kSizeBounds), c.expected) << c.size;
    EXPECT_EQ(SizeClassOf("10", {}), "");
    EXPECT_THROW(SizeClassOf("", kSizeBounds), std::invalid_argument);
    EXPECT_THROW(SizeClassOf("12 KB", kSizeBounds), std::invalid_argument);
}

TEST(AgeClassOf, MeasuredToTheMillisecondFromNow)
{
    SetForms(TextForms::EnUs());
    const LocalSeconds t = FromCivil({2024, 6, 14, 12, 0, 0});
    const LocalMillis day = 86400000;
    const std::string text = FormatDateTime(t);
    struct Case {
        LocalMillis now;
        const char *expected;
    } cases[] = {
        {t * 1000 + day, "1"},              // exactly one day: not "under one day"
        {t * 1000 + day - 1, "0"},          // a millisecond less
        {t * 1000 + day * 9 / 10, "0"},     // 0.9 days
        {t * 1000 + 3 * day, "2"},
        {t * 1000 + 364 * day, "4"},
        {t * 1000 + 365 * day, "5"},
        {t * 1000 + 400 * day, "5"},
        {t * 1000 - day, "0"},              // in the future
        {t * 1000, "0"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(AgeClassOf(text, kAgeBounds, c.now), c.expected) << (c.now - t * 1000) << " ms";
    EXPECT_EQ(AgeClassOf(text, {}, t * 1000), "");
    EXPECT_THROW(AgeClassOf("yesterday", kAgeBounds, t * 1000), std::invalid_argument);
    EXPECT_EQ(AgeClassIndex(t, t * 1000 + day, kAgeBounds), 1);
}

TEST(TypeCounts, CaseInsensitiveKeysLabelledByTheFirstForm)
{
    TTypeCounts counts;
    for (const char *ext : {"TXT", "jpg", "txt", "", "Txt", "a=b", "a", "JPG", ""})
        counts.AddText(ext);
    ASSERT_EQ(counts.Size(), 5u);
    EXPECT_EQ(counts[0].ext, "TXT");
    EXPECT_EQ(counts[0].count, 3u);
    EXPECT_EQ(counts[1].ext, "jpg");
    EXPECT_EQ(counts[1].count, 2u);
    EXPECT_EQ(counts[2].ext, "");
    EXPECT_EQ(counts[2].count, 2u);
    EXPECT_EQ(counts[3].ext, "a=b");
    EXPECT_EQ(counts[4].ext, "a");
    EXPECT_EQ(counts.Find("tXt"), 0);
    EXPECT_EQ(counts.Find("A=B"), 3);
    EXPECT_EQ(counts.Find("png"), -1);
    // Bytes of a name that are not UTF-8 count under the text that is shown for them.
    counts.AddBytes("x\xFF");
    counts.AddBytes("x\xFF");
    EXPECT_EQ(counts[5].ext, "x\xEF\xBF\xBD");
    EXPECT_EQ(counts[5].count, 2u);
    counts.AddBytes("Jpg");
    EXPECT_EQ(counts[1].count, 3u);
}

// Counting by a name's bytes finds the entry counting by the shown text finds: short and long
// extensions, forms of one extension in other cases, bytes that are not UTF-8, hundreds of
// extensions (the tables grow), and positions that change when the entries are sorted.
TEST(TypeCounts, CountingByBytesAgreesWithCountingByText)
{
    std::vector<std::string> forms = {"", "a", "TXT", "txt", "jpeg", "JPEG", "1234567", "12345678", "tar.gz.part",
                                      "x\xFF", "X\xFF", "\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89"};
    for (int i = 0; i < 300; ++i)
        forms.push_back((i % 2 ? "e" : "longer-extension-") + std::to_string(i));
    std::mt19937 rng(11);
    TTypeCounts byBytes, byText;
    for (int step = 0; step < 5000; ++step) {
        const std::string &form = forms[std::uniform_int_distribution<std::size_t>(0, forms.size() - 1)(rng)];
        const std::uint64_t bytes = std::uniform_int_distribution<std::uint64_t>(0, 1000)(rng);
        const std::size_t at = byBytes.AddBytes(form, bytes);
        byText.AddText(ValidUtf8(form), bytes);
        ASSERT_EQ(byBytes[at].ext, byText[at].ext) << step;
        if (step == 2500) { // positions change; later counts still find their entries
            byBytes.Sort();
            byText.Sort();
        }
    }
    ASSERT_EQ(byBytes.Size(), byText.Size());
    for (std::size_t i = 0; i < byText.Size(); ++i) {
        EXPECT_EQ(byBytes[i].ext, byText[i].ext);
        EXPECT_EQ(byBytes[i].count, byText[i].count) << byText[i].ext;
        EXPECT_EQ(byBytes[i].bytes, byText[i].bytes) << byText[i].ext;
    }
}

TEST(TypeCounts, ExchangeOrderOfEqualCounts)
{
    TTypeCounts counts;
    counts.Assign({{"p", 5}, {"q", 7}, {"r", 7}, {"s", 2}});
    counts.Sort();
    std::vector<std::string> order;
    for (const auto &e : counts.Entries())
        order.push_back(e.ext + "=" + std::to_string(e.count));
    EXPECT_EQ(order, (std::vector<std::string>{"q=7", "r=7", "p=5", "s=2"}));
    EXPECT_EQ(counts.Find("R"), 1); // lookups follow the new order
}

// The exchange loop as it reads, on a list of "extension=count" texts.
std::vector<std::string> literalOrder(std::vector<std::string> list)
{
    auto countOf = [](const std::string &s) { return std::stoll(s.substr(s.rfind('=') + 1)); };
    for (std::size_t i = 0; i < list.size(); ++i)
        for (std::size_t j = i; j < list.size(); ++j)
            if (countOf(list[j]) > countOf(list[i]))
                std::swap(list[i], list[j]);
    return list;
}

TEST(TypeCounts, SortAgreesWithTheLiteralExchangeOnRandomTables)
{
    std::mt19937 rng(2024);
    for (int round = 0; round < 300; ++round) {
        std::size_t m = std::uniform_int_distribution<std::size_t>(0, 80)(rng);
        int maxCount = round % 3 == 0 ? 2 : round % 3 == 1 ? 6 : 1000; // many equal counts
        std::vector<TTypeCounts::Entry> entries;
        std::vector<std::string> texts;
        for (std::size_t i = 0; i < m; ++i) {
            std::uint64_t c = std::uniform_int_distribution<int>(1, maxCount)(rng);
            std::string ext = "e" + std::to_string(i) + (i % 7 == 0 ? "=x" : "");
            entries.push_back({ext, c});
            texts.push_back(ext + "=" + std::to_string(c));
        }
        TTypeCounts counts;
        counts.Assign(entries);
        counts.Sort();
        std::vector<std::string> got;
        for (const auto &e : counts.Entries())
            got.push_back(e.ext + "=" + std::to_string(e.count));
        ASSERT_EQ(got, literalOrder(texts)) << "round " << round;
    }
}

TEST(TypeCounts, BytesAddUpAndOrderByTheSameExchangeFromTheOrderMet)
{
    TTypeCounts counts;
    counts.AddText("TXT", 100);
    counts.AddText("jpg", 5000);
    counts.AddText("txt", 50);
    counts.AddBytes("JPG", 1);
    counts.AddBytes("x\xFF", 7);
    counts.AddBytes("x\xFF", 7);
    EXPECT_EQ(counts[0].bytes, 150u);
    EXPECT_EQ(counts[1].bytes, 5001u);
    EXPECT_EQ(counts[2].bytes, 14u);

    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        std::size_t m = std::uniform_int_distribution<std::size_t>(0, 60)(rng);
        int maxBytes = round % 2 ? 3 : 100000; // many equal sizes, or few
        std::vector<TTypeCounts::Entry> entries;
        std::vector<std::string> texts; // in the order met
        for (std::size_t i = 0; i < m; ++i) {
            std::uint64_t c = std::uniform_int_distribution<int>(1, 5)(rng);
            std::uint64_t b = std::uniform_int_distribution<int>(0, maxBytes)(rng);
            entries.push_back({"e" + std::to_string(i), c, b});
            texts.push_back("e" + std::to_string(i) + "=" + std::to_string(b));
        }
        TTypeCounts table;
        table.Assign(entries);
        table.Sort(); // by count: the order by bytes starts again from the order met
        std::vector<std::string> got;
        for (std::uint32_t at : table.OrderByBytes())
            got.push_back(table[at].ext + "=" + std::to_string(table[at].bytes));
        ASSERT_EQ(got, literalOrder(texts)) << "round " << round;
    }
}

} // namespace
} // namespace folvane
