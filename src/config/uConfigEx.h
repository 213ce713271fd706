#pragma once
// The column dialog: which columns are shown, one check box per configured column entry.

#include <QDialog>

class QLabel;
class QFrame;
class QListWidget;
class QPushButton;

namespace folvane {

class TFMConfig final : public QDialog {
    Q_OBJECT
public:
    explicit TFMConfig(QWidget *owner = nullptr);

    // Fills the rows from the configuration and shows the dialog modally; true when it closed
    // with OK, after the ticks were stored. The rows are rebuilt every time.
    bool Execute();

    // Row i: the name of column entry i, ticked when the entry is visible.
    void LoadColumns();
    // Writes every row's tick into its entry and saves the configuration; throws when it cannot save.
    void StoreColumns();

    QListWidget *clbList() const { return list_; }
    QPushButton *BitBtn1() const { return ok_; }
    QPushButton *BitBtn2() const { return cancel_; }
    QLabel *Label1() const { return label_; }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void okClicked();

    QLabel *label_;
    QFrame *panel_;
    QListWidget *list_;
    QPushButton *ok_;
    QPushButton *cancel_;
};

} // namespace folvane
