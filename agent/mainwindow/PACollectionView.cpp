#include "mainwindow/PACollectionView.h"

#include "core/PAApplication.h"
#include "core/SharedState.h"
#include "mainwindow/PAAppItemDelegate.h"
#include "mainwindow/PAController.h"
#include "platform/ArrayControllerModel.h"

#include <QContextMenuEvent>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMouseEvent>

namespace {

// Grid cells leave a little room around each fixed-size item.
constexpr QSize cellMargin(8, 8);

ArrayControllerColumn appColumn()
{
    return makeColumn<PAApplication>(QString(), [](const PAApplication& app, int role) -> QVariant {
        switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return app.appLocalizedName().isEmpty() ? app.appName() : app.appLocalizedName();
        case Qt::DecorationRole:
            return app.appImage();
        case PAAppItemDelegate::ApplicationRole:
            // The delegate only reads the record; the model's accessors are const.
            return QVariant::fromValue(const_cast<PAApplication*>(&app));
        default:
            return {};
        }
    });
}

} // namespace

PACollectionView::PACollectionView(QWidget* parent)
    : QListView(parent)
    , m_delegate(new PAAppItemDelegate(this))
{
    setViewMode(QListView::IconMode);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setMovement(QListView::Static);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setItemDelegate(m_delegate);
    setItemStyle(QStringLiteral("normal"));

    appNotificationCenter().addObserver(
        QStringLiteral("selectApp"), this,
        [this](const NotificationCenter::Notification& n) { selectApp(n.userInfo); });
}

PACollectionView::~PACollectionView() = default;

void PACollectionView::setController(PAController* controller)
{
    setAppsController(controller ? controller->appsLibraryController : nullptr);
}

void PACollectionView::setAppsController(ArrayController<PAApplication>* controller)
{
    if (controller == m_appsController && (controller || !m_model))
        return;
    disconnect(m_rearrangeConnection);
    for (const QMetaObject::Connection& connection : std::as_const(m_appConnections))
        disconnect(connection);
    m_appConnections.clear();

    ArrayControllerModel* previous = m_model;
    QItemSelectionModel* previousSelection = selectionModel();
    m_appsController = controller;
    m_model = controller ? new ArrayControllerModel(controller, {appColumn()}, this) : nullptr;
    setModel(m_model);
    // The view makes a new selection model with every model and leaves the old one to us.
    if (previousSelection != selectionModel())
        delete previousSelection;
    if (m_model) {
        m_model->bindSelectionModel(selectionModel());
        m_rearrangeConnection = connect(controller, &ArrayControllerBase::arrangedObjectsChanged, this,
                                        &PACollectionView::m_watchArrangedApps);
        m_watchArrangedApps();
    }
    delete previous;
}

void PACollectionView::setItemStyle(const QString& style)
{
    m_delegate->setItemStyle(style);
    setGridSize(m_delegate->itemSize() + cellMargin);
    // The delegate's size hint changed: the items must be laid out again.
    scheduleDelayedItemsLayout();
    viewport()->update();
}

QString PACollectionView::itemStyle() const
{
    return m_delegate->itemStyle();
}

QSize PACollectionView::itemSize() const
{
    return m_delegate->itemSize();
}

void PACollectionView::reloadStateImages()
{
    m_delegate->reloadStateImages();
    viewport()->update();
}

void PACollectionView::selectApp(const QVariantMap& userInfo)
{
    const QVariant value = userInfo.value(QStringLiteral("selectApp"));
    const int type = value.typeId();
    if (type != QMetaType::Int && type != QMetaType::LongLong && type != QMetaType::UInt &&
        type != QMetaType::ULongLong)
        return;
    if (!m_appsController)
        return;
    const qlonglong index = value.toLongLong();
    if (index < 0 || index >= m_appsController->arrangedCount())
        return;
    m_appsController->setSelectionIndexes({static_cast<int>(index)});
}

void PACollectionView::mousePressEvent(QMouseEvent* event)
{
    // The right button selects through the context-menu request alone, so a
    // right-click on empty space does not clear the selection.
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QListView::mousePressEvent(event);
}

void PACollectionView::contextMenuEvent(QContextMenuEvent* event)
{
    m_clickedItemIndex = NotFound;
    // Viewport coordinates: the scroll area hands the viewport's event on as is.
    const QModelIndex index = indexAt(event->pos());
    if (index.isValid() && visualRect(index).contains(event->pos())) {
        m_clickedItemIndex = index.row();
        appNotificationCenter().post(QStringLiteral("selectApp"),
                                     {{QStringLiteral("selectApp"), m_clickedItemIndex}});
    }
    if (m_menu)
        m_menu->popup(event->globalPos());
    event->accept();
}

void PACollectionView::m_watchArrangedApps()
{
    m_rows.clear();
    if (!m_appsController) {
        for (const QMetaObject::Connection& connection : std::as_const(m_appConnections))
            disconnect(connection);
        m_appConnections.clear();
        return;
    }
    const auto& arranged = m_appsController->arrangedObjects();
    m_rows.reserve(static_cast<qsizetype>(arranged.size()));
    for (size_t row = 0; row < arranged.size(); ++row) {
        // An app arranged twice repaints where it first shows, as the search did.
        const PAApplication* raw = arranged[row].get();
        if (!m_rows.contains(raw))
            m_rows.insert(raw, static_cast<int>(row));
    }
    // A sort or a filter arranges the same apps anew: only apps that came or
    // went change their connection, so 10,000 apps are not reconnected each time.
    for (auto it = m_appConnections.begin(); it != m_appConnections.end();) {
        if (m_rows.contains(it.key())) {
            ++it;
        } else {
            disconnect(it.value());
            it = m_appConnections.erase(it);
        }
    }
    for (auto row = m_rows.cbegin(); row != m_rows.cend(); ++row) {
        const PAApplication* raw = row.key();
        auto connection = m_appConnections.find(raw);
        // A connection of an app that has gone is no longer connected, also
        // when a new app came to live at the same address.
        if (connection != m_appConnections.end() && *connection)
            continue;
        m_appConnections.insert(
            raw, connect(raw, &PAApplication::changed, this, [this, raw] { m_repaintApp(raw); }));
    }
}

void PACollectionView::m_repaintApp(const PAApplication* app)
{
    if (!m_appsController || !m_model)
        return;
    // A load recolours every app: finding each one's row by a search would
    // make that quadratic.
    const auto row = m_rows.constFind(app);
    if (row != m_rows.constEnd())
        viewport()->update(visualRect(m_model->index(row.value(), 0)));
}
