#include "platform/widgets/CustomSliderCell.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>

namespace {

constexpr double barY = 10.0;
constexpr double barHeight = 1.0;
constexpr double barRadius = 2.5;
// The knob's overhang at the two ends, which the filled part does not cover.
constexpr double knobAllowance = 6.0;

} // namespace

CustomSliderCell::CustomSliderCell(QWidget* parent)
    : CustomSliderCell(Qt::Horizontal, parent)
{
}

CustomSliderCell::CustomSliderCell(Qt::Orientation orientation, QWidget* parent)
    : QSlider(orientation, parent)
    ,
    // Placeholders until the form sets the real colours.
    m_bgColor(palette().color(QPalette::Mid))
    , m_activeColor(palette().color(QPalette::Highlight))
{
}

void CustomSliderCell::setBgColor(const QColor& color)
{
    if (color == m_bgColor)
        return;
    m_bgColor = color;
    update();
    emit bgColorChanged();
}

void CustomSliderCell::setActiveColor(const QColor& color)
{
    if (color == m_activeColor)
        return;
    m_activeColor = color;
    update();
    emit activeColorChanged();
}

double CustomSliderCell::filledWidth(double value, double minimum, double maximum, double controlWidth)
{
    if (maximum == minimum)
        return 0.0;
    const double fraction = (value - minimum) / (maximum - minimum);
    return std::max(0.0, (controlWidth - knobAllowance) * fraction);
}

void CustomSliderCell::drawBarInside(QPainter& painter, const QRectF& rect, bool flipped)
{
    Q_UNUSED(flipped);
    const double filled = filledWidth(value(), minimum(), maximum(), width());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_bgColor);
    painter.drawRoundedRect(QRectF(rect.x(), barY, rect.width(), barHeight), barRadius, barRadius);
    painter.setBrush(m_activeColor);
    painter.drawRoundedRect(QRectF(rect.x(), barY, filled, barHeight), barRadius, barRadius);
    painter.restore();
}

void CustomSliderCell::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    drawBarInside(painter, groove, false);
    // Only the knob (and tick marks) come from the style: the bar is ours.
    option.subControls = QStyle::SC_SliderHandle | QStyle::SC_SliderTickmarks;
    style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
}
