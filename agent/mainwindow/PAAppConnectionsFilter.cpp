#include "mainwindow/PAAppConnectionsFilter.h"

#include "core/PAAppConnectionFilter.h"
#include "mainwindow/PAConnection.h"
#include "mainwindow/PAConnectionsModel.h"

PAAppConnectionsFilter::PAAppConnectionsFilter(QObject* parent)
    : QSortFilterProxyModel(parent)
{
}

void PAAppConnectionsFilter::setAppPath(const std::optional<QString>& appPath)
{
    m_appPath = appPath;
    m_foldedAppPath = appPath ? PAAppConnectionFilter::folded(*appPath) : QString();
    invalidateFilter();
}

bool PAAppConnectionsFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    if (!m_appPath)
        return true;
    const QModelIndex index = sourceModel()->index(sourceRow, 0, sourceParent);
    const auto* connection = index.data(PAConnectionsModel::ConnectionRole).value<PAConnection*>();
    if (!connection)
        return false;
    return PAAppConnectionFilter::containsFolded(connection->connProcessName, m_foldedAppPath) ||
           PAAppConnectionFilter::containsFolded(connection->xpcPath, m_foldedAppPath);
}
