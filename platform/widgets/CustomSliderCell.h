#pragma once

#include <QColor>
#include <QRectF>
#include <QSlider>

class QPainter;

// A slider whose bar is a hairline in two colours: bgColor along its whole
// length, activeColor from the minimum up to the value. The knob is the
// style's own. The colours are set by the forms that place the slider.
class CustomSliderCell : public QSlider
{
    Q_OBJECT
    Q_PROPERTY(QColor bgColor READ bgColor WRITE setBgColor NOTIFY bgColorChanged)
    Q_PROPERTY(QColor activeColor READ activeColor WRITE setActiveColor NOTIFY activeColorChanged)

public:
    // Horizontal unless told otherwise: the bar is drawn for that direction.
    explicit CustomSliderCell(QWidget* parent = nullptr);
    explicit CustomSliderCell(Qt::Orientation orientation, QWidget* parent = nullptr);

    QColor bgColor() const { return m_bgColor; }
    void setBgColor(const QColor& color);
    QColor activeColor() const { return m_activeColor; }
    void setActiveColor(const QColor& color);

    // Draws the bar into `rect` (the groove as the style lays it out). The
    // bar lies at y = 10.0 of the control, whatever the rectangle's height;
    // `flipped` changes nothing, as Qt's coordinates always run downwards.
    void drawBarInside(QPainter& painter, const QRectF& rect, bool flipped);

    // How far the filled part reaches: (controlWidth - 6.0) times the value's
    // share of the range; nothing when the range is empty or the control is
    // narrower than 6.0.
    static double filledWidth(double value, double minimum, double maximum, double controlWidth);

signals:
    void bgColorChanged();
    void activeColorChanged();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_bgColor;
    QColor m_activeColor;
};
