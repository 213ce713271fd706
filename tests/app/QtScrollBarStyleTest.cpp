#include <gtest/gtest.h>

#include <QImage>
#include <QScrollBar>

#include "GuiTestSupport.h"
#include "views/QtScrollBarStyle.h"

using namespace folvane;
using folvane::test::GuiApp;

// Drawn in bands, a scroll bar looks exactly as the application's style draws it whole: tall and
// short, across, with the slider at the start, in the middle and at the end.
TEST(QtScrollBarStyleTest, ABarDrawnInBandsLooksAsDrawnWhole)
{
    GuiApp();
    struct Case {
        Qt::Orientation orientation;
        QSize size;
    };
    for (const Case &c : {Case{Qt::Vertical, {17, 700}}, Case{Qt::Vertical, {17, 50}}, Case{Qt::Horizontal, {650, 17}}}) {
        for (int value : {0, 4321, 10000}) {
            auto draw = [&](QStyle *style) {
                QScrollBar bar(c.orientation);
                if (style)
                    bar.setStyle(style);
                bar.setRange(0, 10000);
                bar.setPageStep(700);
                bar.setValue(value);
                bar.resize(c.size);
                QImage image(c.size, QImage::Format_ARGB32_Premultiplied);
                image.fill(Qt::magenta);
                bar.render(&image);
                return image;
            };
            const QImage whole = draw(nullptr);
            EXPECT_TRUE(draw(QtScrollBarStyle::Instance()) == whole)
                << (c.orientation == Qt::Vertical ? "vertical " : "horizontal ") << c.size.width() << " x "
                << c.size.height() << ", value " << value;
        }
    }
}
