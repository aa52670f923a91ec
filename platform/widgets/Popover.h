#pragma once

#include <QColor>
#include <QFrame>
#include <QPointer>

#include <optional>

// A transient panel that holds one content view and shows next to a place on
// another widget; it closes when the user clicks elsewhere.
class Popover : public QFrame
{
    Q_OBJECT

public:
    explicit Popover(QWidget* parent = nullptr);
    ~Popover() override;

    // Takes ownership of `widget`; a content widget set before is deleted.
    void setContentWidget(QWidget* widget);
    QWidget* contentWidget() const { return m_content; }

    // Shows the popover under `rect` (in `widget`'s coordinates; the whole
    // widget when `rect` is empty), centred on it and kept on the screen.
    void showRelativeTo(const QRect& rect, QWidget* widget);

    // A plain view behind the content, made on the first request. From then
    // on it is put in place the next time the popover shows (once only), one
    // point in from the edges, and follows the popover's size.
    QWidget* backgroundView();
    // Gives the background view (made when needed) a solid colour.
    void setBackgroundColor(const QColor& color);
    // The background view's colour; none when it has none (or no background
    // view was made).
    std::optional<QColor> backgroundColor() const;

signals:
    // Sent before the popover shows, however it is shown.
    void willShow();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void m_popoverWillOpen();
    void m_placeBackgroundView();

    QPointer<QWidget> m_content;
    // Ours until it is put in place; from then on the popover's child.
    QPointer<QWidget> m_backgroundView;
};
