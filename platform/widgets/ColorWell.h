#pragma once

#include <QColor>
#include <QColorDialog>
#include <QPointer>
#include <QToolButton>

// A button that shows a colour and, when clicked, lets the user pick another
// in a colour panel that is modal to the button's window only, so the rest
// of the program (a connection alert) stays usable meanwhile. An invalid
// colour means the theme's text colour and is drawn as that.
class ColorWell : public QToolButton
{
    Q_OBJECT

public:
    explicit ColorWell(QWidget* parent = nullptr);
    ~ColorWell() override;

    QColor color() const { return m_color; }
    // Shows `color`; emits nothing.
    void setColor(const QColor& color);
    // The colour shown, with an invalid colour resolved to the text colour.
    QColor shownColor() const;

    // The window the panel belongs to and is modal to; the well's own window
    // when none is set. A well inside a popup names a lasting window here, so
    // the panel outlives the popup closing.
    void setPanelParent(QWidget* window) { m_panelParent = window; }

    // Opens the colour panel (what a click does); the panel open now, if any.
    void openColorPanel();
    QColorDialog* colorPanel() const { return m_panel; }

signals:
    // The user picked a colour in the panel; color() is already the new one.
    void colorPicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    QSize sizeHint() const override;

private:
    QColor m_color;
    QPointer<QColorDialog> m_panel;
    QPointer<QWidget> m_panelParent;
};
