#pragma once
// The current path: one line of text the user may select with the mouse or the keyboard and
// copy, changed at every step through the tree.
//
// Stepping through a large tree page by page shows a new path at every page. A QLabel whose
// text may be selected lays its text out in a document at each change, paints its parents
// beneath it, and asks the window to lay itself out again. This label's size does not hang on its
// text: the layout gives it the width left over (its width hint is ignored) and one line of its
// font in height, whatever the path, so a new path only repaints it. With nothing selected the
// path is put together from the glyphs the cell text keeps; a selection lays it out. It fills its
// own background; the text is drawn in the palette's WindowText, a selection in Highlight.

#include <QTextLayout>
#include <QWidget>

namespace folvane {

class CurrentPathLabel final : public QWidget {
public:
    explicit CurrentPathLabel(const QString &text, QWidget *parent = nullptr);

    QString text() const { return text_; }
    void setText(const QString &text);

    QSize sizeHint() const override { return hint(); }
    QSize minimumSizeHint() const override { return hint(); }

    // The part of the text selected now (empty when none is).
    QString SelectedText() const;
    void SelectAll();
    // Puts the selected part on the clipboard; nothing when none is selected.
    void Copy() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QSize hint() const;
    // The line of the text shown now, laid out again when the text or the font changed.
    const QTextLine &line() const;
    // A selection belongs to the text it was made in: a new path has none.
    bool hasSelection() const { return anchor_ != cursor_ && selectedIn_ == text_; }
    QPointF origin() const;
    int positionAt(const QPointF &point) const;

    QString text_;
    mutable QTextLayout layout_;
    mutable QTextLine line_;
    mutable QString laid_;
    mutable bool stale_ = true; // the font changed since the text was laid out
    int anchor_ = 0, cursor_ = 0; // the selection, as character positions in selectedIn_
    QString selectedIn_;
    mutable QSize hint_;
};

} // namespace folvane
