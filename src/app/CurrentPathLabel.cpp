#include "app/CurrentPathLabel.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "views/QtCellText.h"

namespace folvane {

CurrentPathLabel::CurrentPathLabel(const QString &text, QWidget *parent) : QWidget(parent)
{
    setText(text);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::ClickFocus);
    setCursor(Qt::IBeamCursor);
}

void CurrentPathLabel::setText(const QString &text)
{
    if (text == text_)
        return;
    text_ = text;
    setAccessibleName(text);
    update();
}

QSize CurrentPathLabel::hint() const
{
    if (!hint_.isValid()) {
        const QMargins margins = contentsMargins();
        hint_ = QSize(minimumWidth(), fontMetrics().height() + margins.top() + margins.bottom());
    }
    return hint_;
}

void CurrentPathLabel::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange ||
        event->type() == QEvent::ContentsRectChange) {
        hint_ = QSize();
        stale_ = true;
    }
    QWidget::changeEvent(event);
}

const QTextLine &CurrentPathLabel::line() const
{
    const QString &shown = text_;
    if (!stale_ && laid_ == shown)
        return line_;
    laid_ = shown;
    stale_ = false;
    layout_.setText(shown);
    layout_.setFont(font());
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setTextDirection(layoutDirection());
    layout_.setTextOption(option);
    layout_.beginLayout();
    line_ = layout_.createLine();
    line_.setLineWidth(1e6);
    layout_.endLayout();
    return line_;
}

QPointF CurrentPathLabel::origin() const
{
    // At the start of the room, centred in height, as a label places one line.
    const QRect room = contentsRect();
    const QTextLine &laid = line();
    const qreal x = layoutDirection() == Qt::RightToLeft ? room.right() + 1 - laid.naturalTextWidth() : room.left();
    return {x, room.top() + (room.height() - laid.height()) / 2};
}

int CurrentPathLabel::positionAt(const QPointF &point) const
{
    return line().xToCursor(point.x() - origin().x(), QTextLine::CursorBetweenCharacters);
}

QString CurrentPathLabel::SelectedText() const
{
    if (!hasSelection())
        return {};
    const int from = std::min(anchor_, cursor_), to = std::max(anchor_, cursor_);
    return text().mid(from, to - from);
}

void CurrentPathLabel::SelectAll()
{
    selectedIn_ = text();
    anchor_ = 0;
    cursor_ = int(selectedIn_.size());
    update();
}

void CurrentPathLabel::Copy() const
{
    const QString selected = SelectedText();
    if (!selected.isEmpty())
        QGuiApplication::clipboard()->setText(selected);
}

void CurrentPathLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
    painter.setPen(palette().color(group, QPalette::WindowText));
    painter.setClipRect(contentsRect());
    if (!hasSelection() && layoutDirection() == Qt::LeftToRight) {
        // Most paints are of a new path with nothing selected: drawn as a cell's text (from the
        // font's pieces when it can be), in a room that never cuts it: the clip does, as for the
        // laid-out line.
        QRect room = contentsRect();
        room.setWidth(QWIDGETSIZE_MAX / 2);
        QtCellText::Draw(&painter, room, Qt::AlignLeft | Qt::AlignVCenter, text_, font(), Qt::LeftToRight);
        return;
    }
    QList<QTextLayout::FormatRange> selection;
    if (hasSelection()) {
        QTextLayout::FormatRange range;
        range.start = std::min(anchor_, cursor_);
        range.length = std::abs(anchor_ - cursor_);
        range.format.setBackground(palette().brush(group, QPalette::Highlight));
        range.format.setForeground(palette().brush(group, QPalette::HighlightedText));
        selection.push_back(range);
    }
    layout_.draw(&painter, origin(), selection);
}

void CurrentPathLabel::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    // Shift extends the selection of the path shown; any other press starts a new one.
    const bool extend = (event->modifiers() & Qt::ShiftModifier) && selectedIn_ == text();
    selectedIn_ = text();
    cursor_ = positionAt(event->position());
    if (!extend)
        anchor_ = cursor_;
    update();
}

void CurrentPathLabel::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton)) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    cursor_ = positionAt(event->position());
    update();
}

void CurrentPathLabel::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The whole path: what one copies a path for.
    if (event->button() == Qt::LeftButton)
        SelectAll();
}

void CurrentPathLabel::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy))
        Copy();
    else if (event->matches(QKeySequence::SelectAll))
        SelectAll();
    else
        QWidget::keyPressEvent(event);
}

void CurrentPathLabel::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    QAction *copy = menu.addAction(QStringLiteral("&Copy"), this, &CurrentPathLabel::Copy);
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(!SelectedText().isEmpty());
    menu.addAction(QStringLiteral("Select All"), this, &CurrentPathLabel::SelectAll)->setShortcut(QKeySequence::SelectAll);
    menu.exec(event->globalPos());
}

} // namespace folvane
