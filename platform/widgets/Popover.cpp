#include "platform/widgets/Popover.h"

#include <QResizeEvent>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>

// A popover draws its own frame; no window manager decorates it.
Popover::Popover(QWidget* parent)
    : QFrame(parent, Qt::Popup | Qt::FramelessWindowHint)
{
    setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

Popover::~Popover()
{
    if (m_backgroundView && !m_backgroundView->parent())
        delete m_backgroundView;
}

void Popover::setContentWidget(QWidget* widget)
{
    if (widget == m_content)
        return;
    delete m_content;
    m_content = widget;
    if (widget)
        layout()->addWidget(widget);
}

void Popover::showRelativeTo(const QRect& rect, QWidget* widget)
{
    if (widget) {
        const QRect anchor = rect.isEmpty() ? widget->rect() : rect;
        adjustSize();
        const QPoint below =
            widget->mapToGlobal(QPoint(anchor.x() + anchor.width() / 2, anchor.bottom() + 1));
        QPoint origin(below.x() - width() / 2, below.y());
        if (const QScreen* screen = widget->screen()) {
            const QRect area = screen->availableGeometry();
            origin.setX(
                std::clamp(origin.x(), area.left(), std::max(area.left(), area.right() + 1 - width())));
            origin.setY(
                std::clamp(origin.y(), area.top(), std::max(area.top(), area.bottom() + 1 - height())));
        }
        move(origin);
    }
    show();
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
    if (!event->spontaneous())
        emit willShow();
    QFrame::showEvent(event);
}

void Popover::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    if (m_backgroundView && m_backgroundView->parent() == this)
        m_placeBackgroundView();
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
