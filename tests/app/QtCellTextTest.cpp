#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QStyleOptionViewItem>
#include <QTextLayout>

#include <algorithm>
#include <random>

#include "GuiTestSupport.h"
#include "views/QtCellText.h"

using namespace folvane;
using folvane::test::GuiApp;

namespace {

class QtCellTextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GuiApp();
        option.font = QApplication::font();
        option.direction = Qt::LeftToRight;
    }

    // The texts of a catalogue's cells: names with ligatures ("fi", "ffl") and kerned pairs ("AV",
    // "To", "r,"), sizes, shares and dates, blanks anywhere, accents, an ellipsis; and random ones
    // from the same letters.
    std::vector<QString> texts()
    {
        std::vector<QString> list = {
            "file1234.txt", "report, final 42.docx", "arch\u00efve.17.tar.gz", "12/10/2024 17:56:17", "0.00%",
            "1,234.56 KB", "AV To Wa r, T. AT", "offline waffle fjord", "  two  blanks  ", "x", " ", "a\u2026b",
            "/tmp/tree1m/d0001/d0002/file000123.cpp", "\u00c9t\u00e9 \u00e0 l'\u00eele", "ffi ffl ff fi fl"};
        const QString letters = QStringLiteral("aefilnorstxyzAFTVWY0123456789 .,/:%-_()'\u00e9\u00ef\u00c9");
        std::mt19937 rng(3);
        for (int i = 0; i < 400; ++i) {
            QString text;
            const int length = std::uniform_int_distribution<int>(1, 24)(rng);
            for (int k = 0; k < length; ++k)
                text += letters[std::uniform_int_distribution<int>(0, int(letters.size()) - 1)(rng)];
            list.push_back(text);
        }
        return list;
    }

    QStyleOptionViewItem option;
};

} // namespace

// A text put together from pieces has the glyphs, the places, the measures and the cuts that
// QTextLayout gives it; the texts of a catalogue are put together so.
TEST_F(QtCellTextTest, PiecesLayATextOutAsTheTextLayoutDoes)
{
    QImage device(8, 8, QImage::Format_RGB32);
    QtCellText &cells = QtCellText::For(option.font, &device);
    int laidCount = 0, cutInsideGlyph = 0;
    for (const QString &text : texts()) {
        SCOPED_TRACE(text.toStdString());
        QtCellText::Laid laid;
        if (!cells.Lay(text, laid))
            continue;
        ++laidCount;
        QTextLayout layout(text, option.font, &device);
        QTextOption textOption;
        textOption.setWrapMode(QTextOption::NoWrap);
        layout.setTextOption(textOption);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        line.setLineWidth(1e6);
        layout.endLayout();
        const QList<QGlyphRun> runs = layout.glyphRuns();
        ASSERT_EQ(runs.size(), 1);
        EXPECT_EQ(runs.front().rawFont(), cells.Font());
        const QList<quint32> glyphs = runs.front().glyphIndexes();
        const QList<QPointF> positions = runs.front().positions();
        ASSERT_EQ(std::vector<quint32>(glyphs.begin(), glyphs.end()), laid.glyphs);
        for (qsizetype g = 0; g < glyphs.size(); ++g) {
            EXPECT_EQ(positions[g].x(), laid.positions[std::size_t(g)]) << "glyph " << g;
            EXPECT_EQ(positions[g].y(), laid.ascent);
        }
        for (int c = 0; c <= text.size(); ++c) {
            if (laid.boundaries[std::size_t(c)] >= 0) {
                EXPECT_EQ(line.cursorToX(c), laid.boundaries[std::size_t(c)]) << "boundary " << c;
            }
        }
        EXPECT_EQ(line.naturalTextWidth(), laid.width);
        EXPECT_EQ(line.height(), laid.height);
        EXPECT_EQ(line.ascent(), laid.ascent);
        // Cut anywhere, at the boundary where the layout cuts (the last one at or before the room
        // left), inside a joined glyph too.
        for (qreal keep = 0.5; keep < laid.width; keep += 1.75) {
            int cursor = line.xToCursor(keep, QTextLine::CursorBetweenCharacters);
            while (cursor > 0 && line.cursorToX(cursor) > keep)
                cursor = layout.previousCursorPosition(cursor);
            const std::optional<std::size_t> cut = QtCellText::Cut(laid, keep);
            ASSERT_TRUE(cut.has_value()) << "cut to " << keep;
            EXPECT_EQ(*cut, std::size_t(cursor)) << "cut to " << keep;
            // Inside a glyph: a boundary that is neither the text's end nor where a glyph starts.
            const qreal at = laid.boundaries[*cut];
            cutInsideGlyph += *cut < std::size_t(text.size()) &&
                              std::find(laid.positions.begin(), laid.positions.end(), at) == laid.positions.end();
        }
    }
    EXPECT_GT(cutInsideGlyph, 0); // the table's ligatures were cut inside
    EXPECT_GT(laidCount, 300);
    for (const char *plain : {"file1234.txt", "12/10/2024 17:56:17", "0.00%", "report, final 42.docx", "AV To Wa"}) {
        QtCellText::Laid laid;
        EXPECT_TRUE(cells.Lay(QString::fromUtf8(plain), laid)) << plain;
    }
    // A name that starts with a joined glyph is cut after it.
    QtCellText::Laid laid;
    ASSERT_TRUE(cells.Lay(QStringLiteral("file429227.xlsx"), laid));
    EXPECT_TRUE(QtCellText::Cut(laid, laid.width / 2).has_value());
    // Other scripts, control characters and right-to-left text go to QTextLayout itself.
    for (const char *other : {"\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d", "tab\there", "\xe6\x97\xa5\xe6\x9c\xac", ""}) {
        QtCellText::Laid laid;
        EXPECT_FALSE(cells.Lay(QString::fromUtf8(other), laid)) << other;
    }
}

// Drawn from pieces, whole or cut with "…" (laid only as far as the room needs), at every
// alignment and in rooms from too small for an ellipsis to wide, a text looks exactly as drawn
// from QTextLayout.
TEST_F(QtCellTextTest, DrawnFromPiecesATextLooksAsDrawnFromItsLayout)
{
    auto draw = [&](const QString &text, int width, Qt::Alignment alignment, bool pieces) {
        QImage image(width + 6, 22, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setPen(Qt::black);
        painter.setFont(option.font);
        QtCellText::Draw(&painter, QRect(3, 2, width, 18), alignment | Qt::AlignVCenter, text, option.font,
                         option.direction, pieces);
        return image;
    };
    const std::vector<QString> all = texts();
    const std::size_t fixed = 15; // every text of the fixed list, then every seventh random one
    int inked = 0, drawn = 0;
    for (Qt::Alignment alignment : {Qt::AlignLeft, Qt::AlignRight, Qt::AlignHCenter}) {
        for (int width : {4, 13, 40, 85, 173, 400}) {
            for (std::size_t t = 0; t < all.size(); t += t < fixed ? 1 : 7) {
                const QImage pieces = draw(all[t], width, alignment, true);
                EXPECT_TRUE(pieces == draw(all[t], width, alignment, false))
                    << all[t].toStdString() << " in " << width << " px, alignment " << int(alignment);
                ++drawn;
                for (int y = 0; y < pieces.height() && inked < drawn; ++y)
                    for (int x = 0; x < pieces.width(); ++x)
                        if (qGray(pieces.pixel(x, y)) < 128) {
                            ++inked;
                            break;
                        }
            }
        }
    }
    EXPECT_GT(inked, drawn * 3 / 4); // the comparison is of texts drawn, not of empty rooms
    // Names with joined glyphs in every room up to their width: cut between glyphs and inside them.
    for (const QString &text : {QStringLiteral("file1234.txt"), QStringLiteral("ffi ffl ff fi fl")})
        for (int width = 4; width <= 100; ++width)
            EXPECT_TRUE(draw(text, width, Qt::AlignLeft, true) == draw(text, width, Qt::AlignLeft, false))
                << text.toStdString() << " in " << width << " px";
}
