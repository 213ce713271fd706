#include <gtest/gtest.h>

#include <QImage>
#include <QScrollBar>

#include "GuiTestSupport.h"
#include "views/QtScrollBarStyle.h"

using namespace folvane;
using folvane::test::GuiApp;

// Drawn in bands and kept, a scroll bar looks exactly as the application's style draws it whole:
// tall and short, across, with the slider at the start, at two places between, a step further
// (the slider moved by less than a pixel: the kept picture), at the end and back at the start.
TEST(QtScrollBarStyleTest, ABarDrawnInBandsAndKeptLooksAsDrawnWhole)
{
    GuiApp();
    struct Case {
        Qt::Orientation orientation;
        QSize size;
    };
    for (const Case &c : {Case{Qt::Vertical, {17, 700}}, Case{Qt::Vertical, {17, 50}}, Case{Qt::Horizontal, {650, 17}}}) {
        // One bar of each kind, moved from value to value as a view moves it.
        QScrollBar plain(c.orientation), banded(c.orientation);
        banded.setStyle(QtScrollBarStyle::Instance());
        for (QScrollBar *bar : {&plain, &banded}) {
            bar->setRange(0, 10000);
            bar->setPageStep(700);
            bar->resize(c.size);
        }
        auto draw = [&](QScrollBar &bar, int value) {
            bar.setValue(value);
            QImage image(c.size, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::magenta);
            bar.render(&image);
            return image;
        };
        for (int value : {0, 2000, 6000, 6001, 10000, 0}) {
            EXPECT_TRUE(draw(banded, value) == draw(plain, value))
                << (c.orientation == Qt::Vertical ? "vertical " : "horizontal ") << c.size.width() << " x "
                << c.size.height() << ", value " << value;
        }
    }
}
