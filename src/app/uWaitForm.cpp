#include "app/uWaitForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <cmath>

namespace folvane {

TSearchAnimation::TSearchAnimation(QWidget *parent) : QWidget(parent), timer_(new QTimer(this))
{
    timer_->setInterval(60);
    connect(timer_, &QTimer::timeout, this, [this] {
        frame_ = (frame_ + 1) % 48;
        update();
    });
}

void TSearchAnimation::Start() { timer_->start(); }
void TSearchAnimation::Stop() { timer_->stop(); }
bool TSearchAnimation::Running() const { return timer_->isActive(); }

void TSearchAnimation::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area = rect().adjusted(2, 4, -2, -2);
    // The folder.
    const QRectF body(area.left(), area.top() + 8, area.width() * 0.78, area.height() - 10);
    QPainterPath tab;
    tab.addRoundedRect(QRectF(body.left(), body.top() - 6, body.width() * 0.4, 10), 2, 2);
    p.setPen(QColor(170, 120, 20));
    p.setBrush(QColor(238, 190, 70));
    p.drawPath(tab);
    p.drawRoundedRect(body, 3, 3);
    // Sheets of paper that the glass looks through.
    p.setPen(QColor(150, 150, 150));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(body.left() + 6, body.top() + 5, body.width() - 12, body.height() - 12));
    p.setPen(QColor(190, 190, 190));
    for (int line = 0; line < 4; ++line) {
        const qreal y = body.top() + 10 + line * 6;
        p.drawLine(QPointF(body.left() + 10, y), QPointF(body.right() - 10, y));
    }
    // The magnifying glass, sweeping to and fro.
    const double phase = frame_ / 48.0 * 2 * M_PI;
    const QPointF centre(body.left() + body.width() * (0.5 + 0.32 * std::sin(phase)),
                         body.top() + body.height() * (0.45 + 0.15 * std::sin(2 * phase)));
    const qreal r = 9;
    p.setPen(QPen(QColor(60, 60, 60), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + QPointF(r * 0.7, r * 0.7), centre + QPointF(r * 1.7, r * 1.7));
    p.setPen(QPen(QColor(40, 40, 40), 2));
    p.setBrush(QColor(200, 230, 255, 150));
    p.drawEllipse(centre, r, r);
}

void TWaitForm::closeEvent(QCloseEvent *event)
{
    event->ignore();
}

void TWaitForm::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    // Without a title bar or border of its own the window needs an edge to stand out from the
    // window behind it.
    QPainter p(this);
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.setPen(palette().color(QPalette::Light));
    p.drawRect(rect().adjusted(1, 1, -2, -2));
}

TWaitForm::TWaitForm(QWidget *owner)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), owner_(owner)
{
    setObjectName(QStringLiteral("WaitForm"));
    setFixedSize(376, 84);
    setAutoFillBackground(true);
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);

    animate_ = new TSearchAnimation(this);
    animate_->setObjectName(QStringLiteral("Animate1"));
    animate_->setGeometry(8, 8, 80, 50);

    label1_ = new QLabel(QStringLiteral("This will take a few minutes.Please be patient..."), this);
    label1_->setObjectName(QStringLiteral("Label1"));
    label1_->setGeometry(103, 8, 266, 16);

    label2_ = new QLabel(QStringLiteral("..."), this);
    label2_->setObjectName(QStringLiteral("Label2"));
    label2_->setGeometry(105, 28, 221, 15);
    label2_->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);

    counts_ = new QLabel(this);
    counts_->setObjectName(QStringLiteral("Counts"));
    counts_->setGeometry(96, 43, 272, 13);
    counts_->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    counts_->hide();

    cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton_->setObjectName(QStringLiteral("SpeedButton1"));
    cancelButton_->setGeometry(142, 57, 97, 25);
    cancelButton_->setFlat(true);
    cancelButton_->setFocusPolicy(Qt::NoFocus);
    cancelButton_->hide();
    connect(cancelButton_, &QPushButton::clicked, this, [this] {
        try {
            if (cancel_)
                cancel_();
        } catch (...) {
            // Cancelling is a request; if it cannot be made the work simply runs to its end.
        }
    });
}

void TWaitForm::centreOverOwner()
{
    QRect over;
    if (owner_ && owner_->isVisible())
        over = owner_->frameGeometry();
    else if (QScreen *screen = QApplication::primaryScreen())
        over = screen->availableGeometry();
    if (over.isValid())
        move(over.center() - QPoint(width() / 2, height() / 2));
}

void TWaitForm::ShowWaitForm(bool show, bool cancelVisible)
{
    if (!show) {
        if (isVisible()) {
            animate_->Stop();
            hide();
            ClearCounts();
        }
        return;
    }
    cancelButton_->setVisible(cancelVisible);
    centreOverOwner();
    QWidget::show();
    raise();
    animate_->Start();
    repaint();
}

void TWaitForm::SetWaitText(const QString &text)
{
    label2_->setText(text);
    if (isVisible())
        repaint();
}

QString TWaitForm::WaitText() const { return label2_->text(); }

void TWaitForm::SetCounts(std::uint64_t entries, std::uint64_t bytes, std::uint64_t foldersNotRead, ScanStage stage)
{
    if (entries == 0) {
        // Nothing found yet: no line that a scan ending within a moment would flash.
        ClearCounts();
        return;
    }
    const QLocale locale;
    QString text = locale.toString(qulonglong(entries)) + QStringLiteral(" entries, ") +
                   locale.formattedDataSize(qint64(bytes), 1, QLocale::DataSizeTraditionalFormat);
    // The line has room for one more part only without the word "found". Once the walk is over,
    // that part says what the work is doing; the folders not read are in the catalogue's summary.
    if (stage == ScanStage::Sorting)
        text += QStringLiteral(" found, sorting..");
    else if (foldersNotRead == 0)
        text += QStringLiteral(" found");
    else
        text += QStringLiteral(", ") + locale.toString(qulonglong(foldersNotRead)) +
                (foldersNotRead == 1 ? QStringLiteral(" folder not read") : QStringLiteral(" folders not read"));
    counts_->setText(text);
    counts_->show();
}

void TWaitForm::ClearCounts()
{
    counts_->clear();
    counts_->hide();
}

} // namespace folvane
