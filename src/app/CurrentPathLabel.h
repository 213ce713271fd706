#pragma once
// The current path: one line of text the user may select with the mouse or the keyboard and
// copy, changed at every step through the tree.
//
// Stepping through a large tree page by page shows a new path at every page. A QLabel whose
// text may be selected lays its text out in a document at each change and paints its parents
// beneath it; this label lays its one line out once per text (at the first paint after a change),
// fills its own background, and works its size hints out once per font: the layout gives it the
// width left over (its width hint is ignored) and one line of its font in height, whatever the
// path. The text is drawn in the palette's WindowText, a selection in Highlight.

#include <QLabel>
#include <QTextLayout>

namespace folvane {

class CurrentPathLabel final : public QLabel {
public:
    explicit CurrentPathLabel(const QString &text, QWidget *parent = nullptr);

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
    bool hasSelection() const { return anchor_ != cursor_ && selectedIn_ == text(); }
    QPointF origin() const;
    int positionAt(const QPointF &point) const;

    mutable QTextLayout layout_;
    mutable QTextLine line_;
    mutable QString laid_;
    mutable bool stale_ = true; // the font changed since the text was laid out
    int anchor_ = 0, cursor_ = 0; // the selection, as character positions in selectedIn_
    QString selectedIn_;
    mutable QSize hint_;
};

} // namespace folvane
