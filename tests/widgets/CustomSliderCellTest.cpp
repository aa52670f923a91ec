#include "platform/widgets/CustomSliderCell.h"

#include <QImage>

#include <gtest/gtest.h>

TEST(CustomSliderCellTest, FilledWidth)
{
    struct Case
    {
        double value, minimum, maximum, controlWidth, filled;
    };
    const Case cases[] = {
        {50, 0, 100, 206, 100.0},
        {0, 0, 100, 206, 0.0},
        {100, 0, 100, 206, 200.0},
        // The range need not start at zero.
        {15, 10, 20, 106, 50.0},
        // An empty range or a control too narrow for the knob fills nothing.
        {5, 5, 5, 206, 0.0},
        {50, 0, 100, 4, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value << " in " << c.minimum << ".." << c.maximum << ", "
                                        << c.controlWidth << " wide");
        EXPECT_DOUBLE_EQ(CustomSliderCell::filledWidth(c.value, c.minimum, c.maximum, c.controlWidth),
                         c.filled);
    }
}

TEST(CustomSliderCellTest, DrawsTheBarInTwoColoursAtHeightTen)
{
    CustomSliderCell slider;
    EXPECT_EQ(slider.orientation(), Qt::Horizontal);
    EXPECT_TRUE(slider.bgColor().isValid());
    EXPECT_TRUE(slider.activeColor().isValid());
    // As a form sets them: by name.
    ASSERT_TRUE(slider.setProperty("bgColor", QColor(Qt::blue)));
    ASSERT_TRUE(slider.setProperty("activeColor", QColor(Qt::red)));
    slider.setRange(0, 100);
    slider.resize(206, 24);

    // Two columns the knob never covers, at 40 and 150.
    struct Case
    {
        int value;
        QColor at40;
        QColor at150;
    };
    const Case cases[] = {
        {50, Qt::red, Qt::blue},
        {0, Qt::blue, Qt::blue},
        {100, Qt::red, Qt::red},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        slider.setValue(c.value);
        QImage image(slider.size(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        slider.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        EXPECT_EQ(image.pixelColor(40, 10), c.at40);
        EXPECT_EQ(image.pixelColor(150, 10), c.at150);
        // A hairline: the rows above and below stay clear.
        for (const int y : {9, 11})
            EXPECT_EQ(image.pixelColor(40, y), QColor(Qt::white)) << y;
    }
}
