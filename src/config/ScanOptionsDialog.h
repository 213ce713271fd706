#pragma once
// The Scan Options dialog: which size a scan counts, how a file with several names counts,
// whether the scan stays on one file system, and which entries it leaves out.
//
// It edits the scan options element of the configuration. OK refuses a pattern the matcher cannot
// use, naming it, and leaves everything typed in place; a configuration that cannot be saved is
// said the same way, and the dialog stays open. On the built-in defaults (a configuration that
// could not be used) the choices stand for this run only: the store writes nothing then.

#include <QDialog>

#include "catalog/ScanChoices.h"

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace folvane {

class TFMScanOptions final : public QDialog {
    Q_OBJECT
public:
    explicit TFMScanOptions(QWidget *owner = nullptr);

    // Shows the configuration's choices and runs the dialog modally; true when it closed with OK,
    // after the choices were stored.
    bool Execute();

    void LoadChoices(const ScanChoices &choices);
    // The choices as the controls hold them; the patterns are the lines that are not blank.
    ScanChoices Choices() const;
    // Checks the patterns, then writes the choices into the configuration and saves it. Throws
    // with the reason when it cannot save; false (after saying which pattern and why) when a
    // pattern cannot be used.
    bool StoreChoices();

    QRadioButton *rbApparent() const { return apparent_; }
    QRadioButton *rbDiskUsage() const { return diskUsage_; }
    QCheckBox *cbHardLinksOnce() const { return hardLinksOnce_; }
    QCheckBox *cbOneFileSystem() const { return oneFileSystem_; }
    QPlainTextEdit *mmExclude() const { return exclude_; }
    QPushButton *btnOK() const { return ok_; }
    QPushButton *btnCancel() const { return cancel_; }

private:
    void okClicked();
    void selectLine(int line);

    QRadioButton *apparent_;
    QRadioButton *diskUsage_;
    QCheckBox *hardLinksOnce_;
    QCheckBox *oneFileSystem_;
    QPlainTextEdit *exclude_;
    QPushButton *ok_;
    QPushButton *cancel_;
};

} // namespace folvane
