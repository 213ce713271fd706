#pragma once
// One line of a cell's text drawn in a room: placed by its alignment when it fits, else cut and
// ended with "…", as a QTextLayout of the text lays it out.
//
// A grid shows a page of new rows at every page-down, and laying each text out (Unicode analysis,
// then shaping by HarfBuzz) is most of what painting them costs. Most texts of a catalogue are
// plain Latin: names, sizes, dates. For those the glyphs are put together from what laying out
// their pieces gave before: each character's glyph, the glyphs that join characters (ligatures
// such as "fi"), and the kerning between two neighbouring glyphs, each piece laid out by
// QTextLayout once for the font and kept. A piece that does not lay out as such a piece (a
// character the font does not have, a pair whose glyphs change when they meet) sends the text to
// QTextLayout itself, as does every text with other characters or running right to left.
//
// The pieces are kept per font and paint device, on the UI thread alone: painting is its work.

#include <QFont>
#include <QGlyphRun>
#include <QRawFont>
#include <QString>

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <unordered_map>
#include <vector>

class QPainter;
class QPaintDevice;
class QRect;

namespace folvane {

class QtCellText {
public:
    // The pieces kept for this font on this device, made on first use.
    static QtCellText &For(const QFont &font, const QPaintDevice *device);

    // Draws `text` in `room` with the painter's pen: whole at its alignment (left, right or
    // centred; mirrored for a right-to-left layout) when it fits, else the characters that fit
    // followed by "…". `pieces` false lays every text out with QTextLayout (to compare with).
    static void Draw(QPainter *painter, const QRect &room, Qt::Alignment alignment, const QString &text,
                     const QFont &font, Qt::LayoutDirection direction, bool pieces = true);

    // For a text running left to right, the glyphs Draw draws in `room`, appended to `glyphs` with
    // their places on the painter; false (and nothing appended) when the text is not drawn from
    // pieces. Texts of one colour gathered so are drawn with one call.
    bool Gather(const QRect &room, Qt::Alignment alignment, const QString &text, QList<quint32> &glyphs,
                QList<QPointF> &positions);
    void DrawGathered(QPainter *painter, const QList<quint32> &glyphs, const QList<QPointF> &positions) const;

    // A text put together from pieces: its glyphs with their positions as QTextLayout gives them
    // (y at the baseline), the x of each character boundary as QTextLayout puts the cursor there
    // (inside a glyph made of several characters, the glyph's advance shared out among them; -1
    // past where the laying stopped), and the line's measures.
    struct Laid {
        std::vector<quint32> glyphs;
        std::vector<qreal> positions; // x of each glyph
        std::vector<qreal> boundaries; // x at character boundary 0 to size
        qreal width = 0;              // as QTextLine::naturalTextWidth
        qreal height = 0, ascent = 0; // as QTextLine::height and ascent
    };
    // False when the text is not laid out from pieces (see the top of this file). Past `limit`,
    // once the line is known to be wider, the laying stops: the glyphs and boundaries are those
    // before the limit, and the width is infinite.
    bool Lay(const QString &text, Laid &laid, qreal limit = std::numeric_limits<qreal>::infinity());
    // The character boundary before which a laid text is cut to take at most `keep` pixels, as
    // QTextLayout cuts it; nothing when the text was not laid far enough to tell.
    static std::optional<std::size_t> Cut(const Laid &laid, qreal keep);
    // The raw font of every glyph laid out from pieces.
    const QRawFont &Font() const { return raw_; }

private:
    QtCellText(const QFont &font, const QPaintDevice *device);

    // A glyph made of one to three characters, as it lays out alone.
    struct Unit {
        quint32 glyph = 0;
        qreal advance = 0;  // the x after it
        qreal overhang = 0; // what the line's width adds when it ends the text
    };
    // A character as one byte of a key: Latin-1 as it is, "…" as 1; 0 for any other.
    static std::uint8_t code(QChar c);
    static QString textOf(std::uint32_t key);
    const std::optional<Unit> &unit(std::uint32_t key);
    std::optional<Unit> makeUnit(std::uint32_t key) const;
    std::optional<qreal> kerning(std::uint32_t left, std::uint32_t right);

    QFont font_;
    QRawFont raw_;
    qreal height_ = 0, ascent_ = 0;
    qreal ellipsisWidth_ = 0;
    // By key: the characters' codes from the first, eight bits each, and their number above them.
    std::unordered_map<std::uint32_t, std::optional<Unit>> units_;
    // By the keys of two units side by side: the x the right one moves by, next to the left one.
    std::unordered_map<std::uint64_t, std::optional<qreal>> kernings_;
    // The same for single characters and pairs, by their codes: what nearly every text asks.
    std::array<std::optional<Unit>, 256> singles_;
    std::array<bool, 256> singleKnown_{};
    enum : std::uint8_t { kUnknown, kJoined, kApart };
    std::vector<std::uint8_t> pairJoins_; // whether two characters make one glyph, by both codes
    struct Kerning {
        bool known = false, apart = false; // apart: the two keep their glyphs
        float moved = 0;                   // a multiple of 1/64 pixel, so held exactly
    };
    std::vector<Kerning> pairKernings_;
    std::vector<std::uint8_t> codes_; // scratch: the codes of the text being laid
};

} // namespace folvane
