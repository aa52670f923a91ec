#include "platform/widgets/Popover.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QResizeEvent>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>

// A popover draws its own frame; no window manager decorates it.
Popover::Popover(QWidget* parent)
    : QFrame(parent, Qt::Tool | Qt::FramelessWindowHint)
{
    setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

Popover::~Popover()
{
    m_watchApplication(false);
    if (m_backgroundView && !m_backgroundView->parent())
        delete m_backgroundView;
}

void Popover::setContentWidget(QWidget* widget)
{
    if (widget == m_content)
        return;
    delete m_content;
    m_content = widget;
    if (widget) {
        layout()->addWidget(widget);
        if (m_contentSize.isValid())
            m_applyContentSize();
    }
}

void Popover::setBehavior(Behavior behavior)
{
    m_behavior = behavior;
}

void Popover::setContentSize(const QSize& size)
{
    m_contentSize = size;
    m_applyContentSize();
}

void Popover::m_applyContentSize()
{
    if (!m_content)
        return;
    if (m_contentSize.isValid()) {
        m_content->setFixedSize(m_contentSize);
    } else {
        m_content->setMinimumSize(0, 0);
        m_content->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
    layout()->activate();
    adjustSize();
}

QPoint Popover::placement(const QRect& anchor, const QSize& size, Edge edge, const QRect& area)
{
    const int centreX = anchor.x() + anchor.width() / 2 - size.width() / 2;
    const int centreY = anchor.y() + anchor.height() / 2 - size.height() / 2;
    const QPoint below(centreX, anchor.bottom() + 1);
    const QPoint above(centreX, anchor.top() - size.height());
    const QPoint left(anchor.left() - size.width(), centreY);
    const QPoint right(anchor.right() + 1, centreY);
    QPoint preferred;
    QPoint other;
    bool fits = true;
    switch (edge) {
    case Edge::MinY:
        preferred = below, other = above;
        fits = area.isEmpty() || below.y() + size.height() <= area.bottom() + 1;
        break;
    case Edge::MaxY:
        preferred = above, other = below;
        fits = area.isEmpty() || above.y() >= area.top();
        break;
    case Edge::MinX:
        preferred = left, other = right;
        fits = area.isEmpty() || left.x() >= area.left();
        break;
    case Edge::MaxX:
        preferred = right, other = left;
        fits = area.isEmpty() || right.x() + size.width() <= area.right() + 1;
        break;
    }
    QPoint origin = fits ? preferred : other;
    if (!area.isEmpty()) {
        origin.setX(
            std::clamp(origin.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width())));
        origin.setY(
            std::clamp(origin.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height())));
    }
    return origin;
}

void Popover::showRelativeTo(const QRect& rect, QWidget* widget, Edge edge)
{
    m_anchorWindow = widget ? widget->window() : nullptr;
    if (widget) {
        const QRect local = rect.isEmpty() ? widget->rect() : rect;
        adjustSize();
        const QRect anchor(widget->mapToGlobal(local.topLeft()), local.size());
        const QScreen* screen = widget->screen();
        move(placement(anchor, size(), edge, screen ? screen->availableGeometry() : QRect()));
    }
    show();
    raise();
    activateWindow();
}

void Popover::performClose()
{
    close();
}

QWidget* Popover::backgroundView()
{
    if (!m_backgroundView) {
        m_backgroundView = new QWidget;
        connect(this, &Popover::willShow, this, &Popover::m_popoverWillOpen);
    }
    return m_backgroundView;
}

void Popover::setBackgroundColor(const QColor& color)
{
    QWidget* view = backgroundView();
    QPalette palette = view->palette();
    palette.setColor(QPalette::Window, color);
    view->setPalette(palette);
    view->setAutoFillBackground(true);
}

std::optional<QColor> Popover::backgroundColor() const
{
    if (!m_backgroundView || !m_backgroundView->autoFillBackground())
        return std::nullopt;
    return m_backgroundView->palette().color(QPalette::Window);
}

void Popover::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) {
        emit willShow();
        m_watchApplication(true);
    }
    QFrame::showEvent(event);
}

void Popover::hideEvent(QHideEvent* event)
{
    QFrame::hideEvent(event);
    if (!event->spontaneous() && m_watching) {
        m_watchApplication(false);
        emit didClose();
    }
}

void Popover::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    if (m_backgroundView && m_backgroundView->parent() == this)
        m_placeBackgroundView();
}

void Popover::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QFrame::keyPressEvent(event);
}

bool Popover::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if ((type == QEvent::MouseButtonPress || type == QEvent::NonClientAreaMouseButtonPress ||
         type == QEvent::MouseButtonDblClick) &&
        watched->isWidgetType() && isVisible() && m_behavior != Behavior::ApplicationDefined) {
        const auto* target = static_cast<QWidget*>(watched);
        // A semitransient popover stays while the user works in other
        // windows; only the window it points into closes it.
        const bool closes = !m_belongsToPopover(target) &&
                            (m_behavior == Behavior::Transient || target->window() == m_anchorWindow);
        // The click goes on to what it was meant for: a popover closing is
        // no reason to swallow it.
        if (closes)
            close();
    }
    return QFrame::eventFilter(watched, event);
}

bool Popover::m_belongsToPopover(const QWidget* widget) const
{
    for (const QWidget* w = widget; w; w = w->parentWidget())
        if (w == this)
            return true;
    return false;
}

void Popover::m_watchApplication(bool watch)
{
    if (watch == m_watching || !qApp)
        return;
    m_watching = watch;
    if (watch) {
        qApp->installEventFilter(this);
        m_stateConnection = connect(
            qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
                if (state != Qt::ApplicationActive && m_behavior == Behavior::Transient)
                    close();
            });
    } else {
        qApp->removeEventFilter(this);
        disconnect(m_stateConnection);
    }
}

void Popover::m_popoverWillOpen()
{
    if (!m_backgroundView || m_backgroundView->parent())
        return;
    m_backgroundView->setParent(this);
    m_placeBackgroundView();
    if (m_content)
        m_backgroundView->stackUnder(m_content);
    else
        m_backgroundView->lower();
    m_backgroundView->show();
}

void Popover::m_placeBackgroundView()
{
    m_backgroundView->setGeometry(rect().adjusted(1, 1, -1, -1));
}
