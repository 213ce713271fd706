#pragma once
// The About window and the two web links it offers.

#include <QColor>
#include <QDialog>
#include <QPalette>

class QLabel;

namespace folvane {

// Hand the product's web site, or a new message to the support address, to the desktop.
// What the desktop answers is not ours to report: both always succeed.
bool OpenProductWebSite();
bool OpenSupportMail();

// The blue of the path label and the links: pure blue, or a lighter blue on a dark background.
QColor TextBlue(const QPalette &palette);

class TFMAbout final : public QDialog {
    Q_OBJECT
public:
    explicit TFMAbout(QWidget *owner);

    QLabel *Label(int number) const; // 1, 2, 4, 5, 6, 7

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *label1_, *label2_, *label4_, *label5_, *label6_, *label7_;
};

} // namespace folvane
