#include "platform/widgets/ColorWell.h"

#include <QColorDialog>
#include <QPainter>
#include <QStyleOptionToolButton>
#include <QStylePainter>

ColorWell::ColorWell(QWidget* parent)
    : QToolButton(parent)
{
    setAutoRaise(false);
    connect(this, &QToolButton::clicked, this, &ColorWell::openColorPanel);
}

ColorWell::~ColorWell() = default;

void ColorWell::setColor(const QColor& color)
{
    m_color = color;
    update();
}

QColor ColorWell::shownColor() const
{
    return m_color.isValid() ? m_color : palette().color(QPalette::WindowText);
}

void ColorWell::openColorPanel()
{
    if (m_panel) {
        m_panel->raise();
        m_panel->activateWindow();
        return;
    }
    auto* panel = new QColorDialog(shownColor(), m_panelParent ? m_panelParent.data() : window());
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setOption(QColorDialog::ShowAlphaChannel);
    panel->setWindowModality(Qt::WindowModal);
    connect(panel, &QColorDialog::colorSelected, this, [this](const QColor& picked) {
        if (!picked.isValid())
            return;
        setColor(picked);
        emit colorPicked();
    });
    m_panel = panel;
    panel->open();
}

QSize ColorWell::sizeHint() const
{
    return {38, 22};
}

void ColorWell::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    painter.drawComplexControl(QStyle::CC_ToolButton, option);
    const QRect swatch = rect().adjusted(5, 5, -5, -5);
    painter.setPen(QPen(palette().color(QPalette::Mid), 1));
    painter.setBrush(shownColor());
    painter.drawRect(swatch.adjusted(0, 0, -1, -1));
}
