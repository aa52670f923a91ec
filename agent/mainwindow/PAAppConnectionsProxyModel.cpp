#include "mainwindow/PAAppConnectionsProxyModel.h"

#include "core/PAAppConnectionRule.h"
#include "mainwindow/PAConnection.h"
#include "mainwindow/PAConnectionsModel.h"

PAAppConnectionsProxyModel::PAAppConnectionsProxyModel(QObject* parent)
    : QSortFilterProxyModel(parent)
{
}

void PAAppConnectionsProxyModel::setAppPath(const std::optional<QString>& appPath)
{
    m_appPath = appPath;
    m_foldedAppPath = appPath ? PAAppConnectionRule::folded(*appPath) : QString();
    invalidateFilter();
}

bool PAAppConnectionsProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    if (!m_appPath)
        return true;
    const QModelIndex index = sourceModel()->index(sourceRow, 0, sourceParent);
    const auto* connection = index.data(PAConnectionsModel::ConnectionRole).value<PAConnection*>();
    if (!connection)
        return false;
    return PAAppConnectionRule::belongsToFoldedApp(m_foldedAppPath, connection->connProcessName,
                                                   connection->xpcPath);
}
