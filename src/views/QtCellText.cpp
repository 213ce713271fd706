#include "views/QtCellText.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>

#include <algorithm>
#include <limits>
#include <memory>

namespace folvane {

namespace {

constexpr char16_t kEllipsis = 0x2026;
constexpr std::uint8_t kEllipsisCode = 1;

// A text laid out by QTextLayout on one line that does not wrap, and what the pieces need of it.
struct Shaped {
    bool oneFont = false; // one run of glyphs, all of one raw font
    QRawFont raw;
    QList<quint32> glyphs;
    QList<QPointF> positions;
    qreal end = 0;     // the x after the last character
    qreal natural = 0; // QTextLine::naturalTextWidth
    qreal height = 0, ascent = 0;
};

Shaped shape(const QString &text, const QFont &font)
{
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setTextDirection(Qt::LeftToRight);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(1e6);
    layout.endLayout();
    Shaped shaped;
    shaped.end = line.cursorToX(int(text.size()));
    shaped.natural = line.naturalTextWidth();
    shaped.height = line.height();
    shaped.ascent = line.ascent();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    if (runs.size() == 1) {
        shaped.oneFont = true;
        shaped.raw = runs.front().rawFont();
        shaped.glyphs = runs.front().glyphIndexes();
        shaped.positions = runs.front().positions();
    }
    return shaped;
}

std::uint32_t keyOf(const std::uint8_t *codes, int count)
{
    std::uint32_t key = std::uint32_t(count) << 24;
    for (int i = 0; i < count; ++i)
        key |= std::uint32_t(codes[i]) << (16 - 8 * i);
    return key;
}

int lengthOf(std::uint32_t key)
{
    return int(key >> 24);
}

} // namespace

QtCellText &QtCellText::For(const QFont &font, const QPaintDevice *device)
{
    // A paint device matters by its resolution alone.
    struct Kept {
        QFont font;
        int dpiX, dpiY;
        std::unique_ptr<QtCellText> text;
    };
    // Never freed: its fonts would otherwise be let go after the application that made them.
    static auto *kept = new std::vector<Kept>;
    const int dpiX = device ? device->logicalDpiX() : 0, dpiY = device ? device->logicalDpiY() : 0;
    for (Kept &k : *kept)
        if (k.dpiX == dpiX && k.dpiY == dpiY && k.font == font)
            return *k.text;
    kept->push_back({font, dpiX, dpiY, std::unique_ptr<QtCellText>(new QtCellText(font, device))});
    return *kept->back().text;
}

QtCellText::QtCellText(const QFont &font, const QPaintDevice *device)
    : font_(device ? QFont(font, device) : font)
{
    const Shaped sample = shape(QStringLiteral("x"), font_);
    raw_ = sample.raw;
    height_ = sample.height;
    ascent_ = sample.ascent;
    ellipsisWidth_ = QFontMetricsF(font_).horizontalAdvance(QString(QChar(kEllipsis)));
}

std::uint8_t QtCellText::code(QChar c)
{
    const char16_t u = c.unicode();
    if ((u >= 0x20 && u < 0x7F) || (u >= 0xA0 && u <= 0xFF))
        return std::uint8_t(u);
    return u == kEllipsis ? kEllipsisCode : 0;
}

QString QtCellText::textOf(std::uint32_t key)
{
    QString text;
    for (int i = 0; i < lengthOf(key); ++i) {
        const std::uint8_t c = std::uint8_t(key >> (16 - 8 * i));
        text += c == kEllipsisCode ? QChar(kEllipsis) : QChar(c);
    }
    return text;
}

const std::optional<QtCellText::Unit> &QtCellText::unit(std::uint32_t key)
{
    // A single character or a pair, the units every text asks for, are found by their codes.
    static const std::optional<Unit> kNone;
    if (lengthOf(key) == 1) {
        const std::uint8_t c = std::uint8_t(key >> 16);
        if (!singleKnown_[c]) {
            singles_[c] = makeUnit(key);
            singleKnown_[c] = true;
        }
        return singles_[c];
    }
    std::uint8_t *pair = nullptr;
    if (lengthOf(key) == 2) {
        if (pairJoins_.empty())
            pairJoins_.assign(1u << 16, kUnknown);
        pair = &pairJoins_[(key >> 8) & 0xFFFFu];
        if (*pair == kApart)
            return kNone;
    }
    auto found = units_.find(key);
    if (found == units_.end())
        found = units_.emplace(key, makeUnit(key)).first;
    if (pair)
        *pair = found->second ? kJoined : kApart;
    return found->second;
}

std::optional<QtCellText::Unit> QtCellText::makeUnit(std::uint32_t key) const
{
    // One glyph of the font every other piece comes from, on a line of the usual measures.
    const Shaped s = shape(textOf(key), font_);
    if (s.oneFont && s.raw == raw_ && s.glyphs.size() == 1 && s.height == height_ && s.ascent == ascent_)
        return Unit{s.glyphs.front(), s.end, s.natural - s.end};
    return std::nullopt;
}

std::optional<qreal> QtCellText::kerning(std::uint32_t left, std::uint32_t right)
{
    // Between two single characters, the pair most texts are made of, found by their codes.
    Kerning *pair = nullptr;
    if (lengthOf(left) == 1 && lengthOf(right) == 1) {
        if (pairKernings_.empty())
            pairKernings_.resize(1u << 16);
        pair = &pairKernings_[((left >> 8) & 0xFF00u) | ((right >> 16) & 0xFFu)];
        if (pair->known)
            return pair->apart ? std::optional<qreal>(pair->moved) : std::nullopt;
    }
    const std::uint64_t key = (std::uint64_t(left) << 32) | right;
    auto found = kernings_.find(key);
    if (found == kernings_.end()) {
        // Side by side the two keep their glyphs and the right one its advance; only where it
        // starts may move.
        std::optional<qreal> made;
        const Unit l = *unit(left), r = *unit(right);
        const Shaped s = shape(textOf(left) + textOf(right), font_);
        if (s.oneFont && s.raw == raw_ && s.glyphs.size() == 2 && s.glyphs[0] == l.glyph && s.glyphs[1] == r.glyph &&
            s.positions[0].x() == 0 && s.end == s.positions[1].x() + r.advance)
            made = s.positions[1].x() - l.advance;
        found = kernings_.emplace(key, made).first;
    }
    if (pair)
        *pair = {true, found->second.has_value(), float(found->second.value_or(0))};
    return found->second;
}

bool QtCellText::Lay(const QString &text, Laid &laid, qreal limit)
{
    const int n = int(text.size());
    if (n == 0 || !raw_.isValid())
        return false;
    // Every character one the pieces are made of, or the text is not laid from pieces at all.
    codes_.resize(std::size_t(n));
    int lastInk = -1; // the last character that is not a space: the line's width ends with it
    for (int i = 0; i < n; ++i) {
        if (!(codes_[std::size_t(i)] = code(text[i])))
            return false;
        if (codes_[std::size_t(i)] != ' ' && codes_[std::size_t(i)] != 0xA0)
            lastInk = i;
    }
    laid.glyphs.clear();
    laid.positions.clear();
    laid.boundaries.assign(std::size_t(n) + 1, -1);
    laid.height = height_;
    laid.ascent = ascent_;
    // The units from the left: the longest run of up to three characters that makes one glyph,
    // each placed after the one before it and the kerning between the two.
    qreal x = 0;
    std::uint32_t previous = 0;
    for (int i = 0; i < n;) {
        const std::uint8_t *codes = &codes_[std::size_t(i)];
        int take = 1;
        if (i + 1 < n && unit(keyOf(codes, 2)))
            take = i + 2 < n && unit(keyOf(codes, 3)) ? 3 : 2;
        const std::uint32_t key = keyOf(codes, take);
        const std::optional<Unit> &u = unit(key);
        if (!u)
            return false;
        if (previous) {
            const std::optional<qreal> moved = kerning(previous, key);
            if (!moved)
                return false;
            x += *moved;
        }
        laid.boundaries[std::size_t(i)] = x;
        if (x > limit && i <= lastInk) {
            // Ink still to come starts past the limit: the line is wider than that, and the
            // glyphs before are all a cut can keep.
            laid.width = std::numeric_limits<qreal>::infinity();
            return true;
        }
        laid.glyphs.push_back(u->glyph);
        laid.positions.push_back(x);
        // Inside a glyph of several characters the cursor stands at an equal share of its
        // advance per character, in QTextLayout's 1/64 pixel units, rounded down.
        const qint64 advance64 = qRound64(u->advance * 64);
        for (int k = 1; k < take; ++k)
            laid.boundaries[std::size_t(i + k)] = x + qreal(advance64 * k / take) / 64;
        x += u->advance;
        previous = key;
        i += take;
    }
    laid.boundaries[std::size_t(n)] = x;
    laid.width = x + unit(previous)->overhang;
    return true;
}

void QtCellText::Draw(QPainter *painter, const QRect &room, Qt::Alignment alignment, const QString &text,
                      const QFont &font, Qt::LayoutDirection direction, bool pieces)
{
    if (pieces && direction == Qt::LeftToRight) {
        QtCellText &cells = For(font, painter->device());
        QList<quint32> glyphs;
        QList<QPointF> positions;
        if (cells.Gather(room, alignment, text, glyphs, positions)) {
            cells.DrawGathered(painter, glyphs, positions);
            return;
        }
    }
    QTextLayout layout(text, font, painter->device());
    QTextOption textOption;
    textOption.setWrapMode(QTextOption::NoWrap);
    textOption.setTextDirection(direction);
    textOption.setAlignment(Qt::AlignLeft | Qt::AlignAbsolute); // the line starts at its own left; placed below
    layout.setTextOption(textOption);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(room.width());
    layout.endLayout();
    const qreal width = line.naturalTextWidth();
    const qreal top = room.top() + (room.height() - line.height()) / 2;
    if (width <= room.width()) {
        const Qt::Alignment h = QStyle::visualAlignment(direction, alignment) & Qt::AlignHorizontal_Mask;
        const qreal left = h & Qt::AlignRight ? room.right() + 1 - width
                           : h & Qt::AlignHCenter ? room.left() + (room.width() - width) / 2
                                                  : room.left();
        line.draw(painter, QPointF(left, top));
        return;
    }
    // Cut: the characters that fit before the ellipsis, drawn from the layout's own glyphs.
    const QString ellipsis{QChar(kEllipsis)};
    const QFontMetricsF metrics(font, painter->device());
    const qreal keep = room.width() - metrics.horizontalAdvance(ellipsis);
    const QList<QGlyphRun> runs = layout.glyphRuns();
    const bool rightToLeft = std::any_of(runs.begin(), runs.end(), [](const QGlyphRun &run) { return run.isRightToLeft(); });
    if (rightToLeft || direction == Qt::RightToLeft || keep <= 0) {
        // Text running right to left is cut as the font metrics cut it, which knows its order.
        const QString cut = metrics.elidedText(text, Qt::ElideRight, room.width());
        painter->drawText(room, int(alignment & Qt::AlignVertical_Mask) | Qt::AlignAbsolute |
                                    (direction == Qt::RightToLeft ? Qt::AlignRight : Qt::AlignLeft) |
                                    Qt::TextSingleLine,
                          cut);
        return;
    }
    int cursor = line.xToCursor(keep, QTextLine::CursorBetweenCharacters);
    while (cursor > 0 && line.cursorToX(cursor) > keep)
        cursor = layout.previousCursorPosition(cursor);
    const QPointF origin(room.left(), top);
    if (cursor > 0)
        for (const QGlyphRun &run : layout.glyphRuns(0, cursor))
            painter->drawGlyphRun(origin, run);
    painter->drawText(QPointF(origin.x() + line.cursorToX(cursor), origin.y() + line.ascent()), ellipsis);
}

std::optional<std::size_t> QtCellText::Cut(const Laid &laid, qreal keep)
{
    // The last boundary at or before `keep`, as QTextLayout finds it, when the one after it is
    // known (a cut inside a glyph made of several characters keeps the whole glyph, as
    // QTextLayout draws it, and the ellipsis follows at the boundary).
    std::size_t cut = 0;
    for (std::size_t i = 1; i < laid.boundaries.size(); ++i) {
        if (laid.boundaries[i] < 0)
            continue;
        if (laid.boundaries[i] > keep)
            break;
        cut = i;
    }
    if (cut + 1 < laid.boundaries.size() && laid.boundaries[cut + 1] < 0)
        return std::nullopt;
    return cut;
}

bool QtCellText::Gather(const QRect &room, Qt::Alignment alignment, const QString &text, QList<quint32> &glyphs,
                        QList<QPointF> &positions)
{
    static Laid laid; // painting is the UI thread's: one is enough
    if (!Lay(text, laid, room.width()))
        return false;
    QPointF origin(room.left(), room.top() + (room.height() - laid.height) / 2);
    std::size_t count = laid.glyphs.size();
    std::optional<qreal> ellipsisAt;
    quint32 ellipsisGlyph = 0;
    if (laid.width <= room.width()) {
        const Qt::Alignment h = QStyle::visualAlignment(Qt::LeftToRight, alignment) & Qt::AlignHorizontal_Mask;
        origin.setX(h & Qt::AlignRight ? room.right() + 1 - laid.width
                    : h & Qt::AlignHCenter ? room.left() + (room.width() - laid.width) / 2
                                           : room.left());
    } else {
        // The characters that leave room for the ellipsis.
        const qreal keep = room.width() - ellipsisWidth_;
        const std::optional<std::size_t> cut = Cut(laid, keep);
        const std::optional<Unit> &ellipsis = unit(keyOf(&kEllipsisCode, 1));
        if (keep <= 0 || !ellipsis || !cut)
            return false;
        ellipsisGlyph = ellipsis->glyph;
        ellipsisAt = laid.boundaries[*cut];
        count = std::size_t(std::find_if(laid.positions.begin(), laid.positions.end(),
                                         [&](qreal x) { return x >= *ellipsisAt; }) -
                            laid.positions.begin());
    }
    for (std::size_t g = 0; g < count; ++g) {
        glyphs.push_back(laid.glyphs[g]);
        positions.push_back(origin + QPointF(laid.positions[g], laid.ascent));
    }
    if (ellipsisAt) {
        glyphs.push_back(ellipsisGlyph);
        positions.push_back(origin + QPointF(*ellipsisAt, laid.ascent));
    }
    return true;
}

void QtCellText::DrawGathered(QPainter *painter, const QList<quint32> &glyphs, const QList<QPointF> &positions) const
{
    if (glyphs.isEmpty())
        return;
    QGlyphRun run;
    run.setRawFont(raw_);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    painter->drawGlyphRun(QPointF(), run);
}

} // namespace folvane
