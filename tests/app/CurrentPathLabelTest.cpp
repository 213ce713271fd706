#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTest>

#include <memory>

#include "GuiTestSupport.h"
#include "app/CurrentPathLabel.h"
#include "views/QtCellText.h"

using namespace folvane;
using folvane::test::GuiApp;
using folvane::test::Settle;

namespace {

class CurrentPathLabelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GuiApp();
        label = std::make_unique<CurrentPathLabel>(QStringLiteral("/data/photos/2024"));
        label->setMinimumWidth(40);
        label->resize(400, label->sizeHint().height());
        label->show();
        Settle();
    }
    // The x where character `position` of the text starts, as drawn.
    int xOf(int position) const
    {
        return label->contentsRect().left() + label->fontMetrics().horizontalAdvance(label->text().left(position));
    }
    void drag(int from, int to)
    {
        const int y = label->height() / 2;
        QTest::mousePress(label.get(), Qt::LeftButton, {}, QPoint(xOf(from), y));
        QTest::mouseMove(label.get(), QPoint(xOf(to), y));
        QTest::mouseRelease(label.get(), Qt::LeftButton, {}, QPoint(xOf(to), y));
    }

    std::unique_ptr<CurrentPathLabel> label;
};

} // namespace

// What a person does with the path: drag over part of it, double-click it all, copy it; a new
// path starts with nothing selected.
TEST_F(CurrentPathLabelTest, APartDraggedOverOrTheWholePathIsSelectedAndCopied)
{
    EXPECT_TRUE(label->SelectedText().isEmpty());
    drag(1, 5);
    EXPECT_EQ(label->SelectedText(), QStringLiteral("data"));
    QTest::keyClick(label.get(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("data"));

    QTest::mouseDClick(label.get(), Qt::LeftButton, {}, QPoint(xOf(3), label->height() / 2));
    EXPECT_EQ(label->SelectedText(), label->text());

    label->setText(QStringLiteral("/data"));
    EXPECT_TRUE(label->SelectedText().isEmpty()) << "a new path keeps no selection of the old one";
    QTest::keyClick(label.get(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(label->SelectedText(), QStringLiteral("/data"));
}

// The label fills its own background (nothing beneath it is painted first) and draws the path in
// its palette's text colour, a selection in the highlight.
TEST_F(CurrentPathLabelTest, PaintsItsOwnBackgroundTheTextAndTheSelection)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    label->setPalette(palette);
    auto shot = [&] {
        QImage image(label->size(), QImage::Format_RGB32);
        image.fill(Qt::magenta);
        label->render(&image);
        return image;
    };
    auto count = [](const QImage &image, const QColor &colour) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += image.pixelColor(x, y) == colour;
        return n;
    };
    const QImage plain = shot();
    EXPECT_EQ(count(plain, Qt::magenta), 0);
    EXPECT_GT(count(plain, QColor(0, 0, 255)), 0);
    EXPECT_EQ(plain.pixelColor(plain.width() - 2, 1), label->palette().color(QPalette::Window));

    label->SelectAll();
    const QImage selected = shot();
    EXPECT_GT(count(selected, label->palette().color(QPalette::Active, QPalette::Highlight)), 0);

    // With nothing selected the path is drawn from the font's pieces: exactly where and as its
    // laid-out line would be.
    label->setText(QStringLiteral("/data/photos/2024 fifty-first"));
    QImage laidOut(label->size(), QImage::Format_RGB32);
    laidOut.fill(label->palette().color(QPalette::Window));
    {
        QPainter painter(&laidOut);
        painter.setPen(QColor(0, 0, 255));
        QRect room = label->contentsRect();
        room.setWidth(100000);
        QtCellText::Draw(&painter, room, Qt::AlignLeft | Qt::AlignVCenter, label->text(), label->font(),
                         Qt::LeftToRight, false);
    }
    EXPECT_TRUE(shot() == laidOut);
}
