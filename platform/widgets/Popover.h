#pragma once

#include <QColor>
#include <QFrame>
#include <QPointer>
#include <QSize>

#include <optional>

// A panel that holds one content view and shows next to a place on another
// widget. How it closes by itself is its behaviour: a transient popover closes
// on any click outside it and when the application loses the focus, a
// semitransient one only on clicks elsewhere in the window it points into, and
// an application-defined one only when it is told to. Escape closes every kind.
// It is a frameless tool window watched through an application event filter,
// not a popup: a popup grabs the pointer and would close on the first click
// elsewhere whatever its behaviour, also on one in a window it opened itself.
// Clicks in windows that belong to the popover (its menus, a popover shown from
// one of its controls) count as inside.
class Popover : public QFrame
{
    Q_OBJECT

public:
    // The values of the original behaviours, kept so settings read alike.
    enum class Behavior { ApplicationDefined = 0, Transient = 1, Semitransient = 2 };
    // Which side of the place the popover prefers; the other side is taken
    // when the preferred one has no room on the screen.
    enum class Edge { MinX = 0, MinY = 1, MaxX = 2, MaxY = 3 };

    explicit Popover(QWidget* parent = nullptr);
    ~Popover() override;

    // Takes ownership of `widget`; a content widget set before is deleted.
    void setContentWidget(QWidget* widget);
    QWidget* contentWidget() const { return m_content; }

    Behavior behavior() const { return m_behavior; }
    void setBehavior(Behavior behavior);

    // The content's size: the popover grows or shrinks around it, also while
    // it shows. An invalid size lets the content take its own size hint.
    QSize contentSize() const { return m_contentSize; }
    void setContentSize(const QSize& size);

    // Shows the popover on the `edge` side of `rect` (in `widget`'s
    // coordinates; the whole widget when `rect` is empty), centred on it and
    // kept on the screen. MinY is below the place, MaxY above, MinX to its
    // left and MaxX to its right.
    void showRelativeTo(const QRect& rect, QWidget* widget, Edge edge = Edge::MinY);

    // Closes the popover as a click outside it would.
    void performClose();

    // A plain view behind the content, made on the first request. From then
    // on it is put in place the next time the popover shows (once only), one
    // point in from the edges, and follows the popover's size.
    QWidget* backgroundView();
    // Gives the background view (made when needed) a solid colour.
    void setBackgroundColor(const QColor& color);
    // The background view's colour; none when it has none (or no background
    // view was made).
    std::optional<QColor> backgroundColor() const;

    // Where showRelativeTo() puts a popover of `size` next to `anchor` (global
    // coordinates) within `area`.
    static QPoint placement(const QRect& anchor, const QSize& size, Edge edge, const QRect& area);

signals:
    // Sent before the popover shows, however it is shown.
    void willShow();
    // Sent once each time a shown popover has closed, whatever closed it.
    void didClose();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void m_popoverWillOpen();
    void m_placeBackgroundView();
    void m_applyContentSize();
    // True when `widget` is the popover, inside it, or in a window opened from it.
    bool m_belongsToPopover(const QWidget* widget) const;
    void m_watchApplication(bool watch);

    QPointer<QWidget> m_content;
    // Ours until it is put in place; from then on the popover's child.
    QPointer<QWidget> m_backgroundView;
    Behavior m_behavior = Behavior::Transient;
    QSize m_contentSize;
    // The window of the place it was last shown at.
    QPointer<QWidget> m_anchorWindow;
    bool m_watching = false;
    QMetaObject::Connection m_stateConnection;
};
