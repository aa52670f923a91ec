#pragma once

#include "platform/ArrayController.h"

#include <QHash>
#include <QList>
#include <QListView>
#include <QMenu>
#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

class ArrayControllerModel;
class PAAppItemDelegate;
class PAApplication;
class PAController;

// The managed-apps view: a grid of the apps arranged by the main window's apps
// controller, one item per app, repainted whenever an app changes. A right-click
// selects the app under the pointer (through the "selectApp" message) before
// the view's menu opens; a right-click on empty space leaves the selection.
class PACollectionView : public QListView
{
    Q_OBJECT

public:
    // clickedItemIndex() when the last right-click hit no item.
    static constexpr int NotFound = -1;

    explicit PACollectionView(QWidget* parent = nullptr);
    ~PACollectionView() override;

    // Shows controller->appsLibraryController and keeps the view's selection
    // and the controller's equal; nullptr unbinds.
    void setController(PAController* controller);
    // The same for a bare apps controller (what setController() binds to).
    void setAppsController(ArrayController<PAApplication>* controller);
    ArrayController<PAApplication>* appsController() const { return m_appsController.data(); }
    ArrayControllerModel* appsModel() const { return m_model; }

    // "mini" or anything else ("normal"); every item takes the style's size.
    void setItemStyle(const QString& style);
    QString itemStyle() const;
    QSize itemSize() const;
    // After the icon set changed ("UseAlternateIcons").
    void reloadStateImages();

    // The menu a right-click opens (the main window's right-click menu); not owned.
    void setMenu(QMenu* menu) { m_menu = menu; }
    QMenu* menu() const { return m_menu; }
    int clickedItemIndex() const { return m_clickedItemIndex; }
    void setClickedItemIndex(int index) { m_clickedItemIndex = index; }

    // Handler of the "selectApp" message: selects exactly the arranged app at
    // the Int under "selectApp". Anything else there, or an index that shows no
    // app, changes nothing.
    void selectApp(const QVariantMap& userInfo);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void m_watchArrangedApps();
    void m_repaintApp(const PAApplication* app);

    QPointer<ArrayController<PAApplication>> m_appsController;
    ArrayControllerModel* m_model = nullptr;
    PAAppItemDelegate* m_delegate = nullptr;
    QPointer<QMenu> m_menu;
    int m_clickedItemIndex = NotFound;
    // One connection per arranged app, kept while the app stays arranged.
    QHash<const PAApplication*, QMetaObject::Connection> m_appConnections;
    // The row of each arranged app, as of the last arrangement.
    QHash<const PAApplication*, int> m_rows;
    QMetaObject::Connection m_rearrangeConnection;
};
