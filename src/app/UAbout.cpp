#include "app/UAbout.h"

#include <QLabel>
#include <QMouseEvent>
#include <QScreen>

#include "common/ProductAddresses.h"
#include "common/UiServices.h"

namespace folvane {

bool OpenProductWebSite()
{
    try {
        Ui().OpenUrl(std::string(kProductWebSite));
    } catch (...) {
        // Without a browser nothing visible happens, as the link promises no more.
    }
    return true;
}

bool OpenSupportMail()
{
    try {
        Ui().OpenUrl("mailto:" + std::string(kSupportMail));
    } catch (...) {
        // Without a mail program nothing visible happens.
    }
    return true;
}

QColor TextBlue(const QPalette &palette)
{
    return qGray(palette.color(QPalette::Window).rgb()) < 128 ? QColor(110, 170, 255) : QColor(0, 0, 255);
}

namespace {

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, int left, int top, int width)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(left, top);
    label->resize(width > 0 ? width : label->sizeHint().width(), label->sizeHint().height());
    return label;
}

QLabel *makeLink(QWidget *parent, const char *name, const QString &text, int left, int top, int width)
{
    QLabel *label = makeLabel(parent, name, text, left, top, width);
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, TextBlue(palette));
    label->setPalette(palette);
    label->setCursor(Qt::PointingHandCursor);
    return label;
}

} // namespace

TFMAbout::TFMAbout(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("FMAbout"));
    setWindowTitle(QStringLiteral("About Folvane"));
    setFixedSize(292, 152);
    setAttribute(Qt::WA_DeleteOnClose, false);

    label1_ = makeLabel(this, "Label1", QString(), 73, 20, 173);
    QFont bold = label1_->font();
    bold.setBold(true);
    label1_->setFont(bold);
    label1_->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    label2_ = makeLabel(this, "Label2", QStringLiteral("Copyright \u00a9 2026 Korrin Software"), 35, 43, 248);
    label2_->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    label4_ = makeLabel(this, "Label4", QStringLiteral("Web: "), 56, 75, 0);
    auto text = [](std::string_view address) { return QString::fromLatin1(address.data(), qsizetype(address.size())); };
    label5_ = makeLink(this, "Label5", text(kProductWebSiteShown), 99, 75, 164);
    label6_ = makeLabel(this, "Label6", QStringLiteral("Email: "), 58, 99, 0);
    label7_ = makeLink(this, "Label7", text(kSupportMail), 103, 99, 146);
    label5_->installEventFilter(this);
    label7_->installEventFilter(this);
}

QLabel *TFMAbout::Label(int number) const
{
    switch (number) {
    case 1: return label1_;
    case 2: return label2_;
    case 4: return label4_;
    case 5: return label5_;
    case 6: return label6_;
    case 7: return label7_;
    default: return nullptr;
    }
}

void TFMAbout::showEvent(QShowEvent *event)
{
    label1_->setText(QStringLiteral("Korrin Folvane 3.1.3"));
    QDialog::showEvent(event);
    // Centred on the screen, not over the main window where a dialog goes by default. The
    // program places it itself: there may be no window manager to do it.
    if (const QScreen *shownOn = screen()) {
        const QRect frame = frameGeometry();
        move(pos() + shownOn->availableGeometry().center() - frame.center());
    }
}

bool TFMAbout::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        if (watched == label5_) {
            OpenProductWebSite();
            return true;
        }
        if (watched == label7_) {
            OpenSupportMail();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace folvane
