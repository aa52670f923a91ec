#include "mainwindow/PAConnectionsModel.h"

#include "mainwindow/PAConnection.h"

#include <QMetaObject>

#include <algorithm>

namespace {

// Removed connections destroyed per turn of the event loop.
constexpr size_t kRetireSlice = 4096;

} // namespace

PAConnectionsModel::PAConnectionsModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

PAConnectionsModel::~PAConnectionsModel() = default;

void PAConnectionsModel::append(PAConnection* connection)
{
    if (!connection)
        return;
    connection->setParent(nullptr);
    m_pending.emplace_back(connection);
    if (!m_flushQueued) {
        m_flushQueued = true;
        QMetaObject::invokeMethod(this, &PAConnectionsModel::flushPending, Qt::QueuedConnection);
    }
}

void PAConnectionsModel::flushPending()
{
    m_flushQueued = false;
    if (m_pending.empty())
        return;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(m_pending.size()) - 1);
    for (auto& connection : m_pending) {
        const quint64 serial = m_nextSerial++;
        connect(connection.get(), &PAConnection::changed, this, [this, serial] { m_rowChanged(serial); });
        const qint64 realMs = connection->connRealDate.toMSecsSinceEpoch();
        m_rows.push_back(Row{std::move(connection), realMs, serial});
    }
    m_pending.clear();
    endInsertRows();
    emit rowsAppended();
}

PAConnection* PAConnectionsModel::connectionAt(int row) const
{
    if (row < 0 || row >= rowCount())
        return nullptr;
    return m_rows[static_cast<size_t>(row)].connection.get();
}

int PAConnectionsModel::rowOf(const PAConnection* connection) const
{
    if (!connection)
        return -1;
    const auto found = std::find_if(m_rows.begin(), m_rows.end(), [connection](const Row& row) {
        return row.connection.get() == connection;
    });
    return found == m_rows.end() ? -1 : static_cast<int>(found - m_rows.begin());
}

int PAConnectionsModel::removeAged(const QDateTime& now, double ttlSeconds)
{
    flushPending();
    const qint64 nowMs = now.toMSecsSinceEpoch();
    // Age compared in milliseconds, as the date itself is kept: a row exactly
    // the TTL old goes, one a millisecond younger stays. A TTL that is not a
    // number removes nothing.
    const auto aged = [&](const Row& row) {
        return static_cast<double>(nowMs - row.realMs) >= ttlSeconds * 1000.0;
    };
    // Runs of aged rows, walked from the back so that earlier row numbers
    // stay valid while later runs go.
    std::vector<std::pair<int, int>> runs;
    const int count = rowCount();
    for (int row = 0; row < count;) {
        if (!aged(m_rows[static_cast<size_t>(row)])) {
            ++row;
            continue;
        }
        const int start = row;
        while (row < count && aged(m_rows[static_cast<size_t>(row)]))
            ++row;
        runs.emplace_back(start, row);
    }
    std::vector<std::unique_ptr<PAConnection>> removed;
    int removedCount = 0;
    for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
        beginRemoveRows({}, run->first, run->second - 1);
        const auto from = m_rows.begin() + run->first;
        const auto to = m_rows.begin() + run->second;
        // Still connected until destroyed: a change that arrives meanwhile
        // finds no row by its serial and redraws nothing.
        for (auto it = from; it != to; ++it)
            removed.push_back(std::move(it->connection));
        m_rows.erase(from, to);
        endRemoveRows();
        removedCount += run->second - run->first;
    }
    m_retire(std::move(removed));
    return removedCount;
}

void PAConnectionsModel::removeAll()
{
    std::vector<std::unique_ptr<PAConnection>> removed;
    removed.reserve(m_rows.size() + m_pending.size());
    if (!m_rows.empty()) {
        beginRemoveRows({}, 0, rowCount() - 1);
        for (Row& row : m_rows)
            removed.push_back(std::move(row.connection));
        m_rows.clear();
        endRemoveRows();
    }
    for (auto& connection : m_pending)
        removed.push_back(std::move(connection));
    m_pending.clear();
    m_retire(std::move(removed));
}

void PAConnectionsModel::forEachConnection(const std::function<void(PAConnection&)>& visit) const
{
    for (const Row& row : m_rows)
        visit(*row.connection);
}

int PAConnectionsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int PAConnectionsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PAConnectionsModel::data(const QModelIndex& index, int role) const
{
    const PAConnection* connection = index.isValid() ? connectionAt(index.row()) : nullptr;
    if (!connection)
        return {};
    if (role == ConnectionRole)
        return QVariant::fromValue(const_cast<PAConnection*>(connection));
    if (role == Qt::ForegroundRole)
        return connection->connColor.isValid() ? QVariant(connection->connColor) : QVariant();
    switch (index.column()) {
    case ColumnImage:
        if (role == Qt::DecorationRole)
            // Until its own icon arrives, the row shows the one of its path
            // that an earlier row has already made.
            return connection->connImage.isNull() ? PAConnection::getIcon(connection->iconPath())
                                                  : connection->connImage;
        if (role == Qt::ToolTipRole)
            return connection->connProcessName;
        return {};
    case ColumnProcessName:
        if (role == Qt::DisplayRole)
            return connection->connSimpleName;
        if (role == Qt::ToolTipRole)
            return connection->connProcessName;
        return {};
    case ColumnAddress:
        // The host name, which is the address while none is shown or known.
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
            return connection->connHostname;
        return {};
    case ColumnPort:
        return role == Qt::DisplayRole ? QVariant(connection->connPort) : QVariant();
    case ColumnUID:
        return role == Qt::DisplayRole ? QVariant(connection->connUID) : QVariant();
    case ColumnPID:
        return role == Qt::DisplayRole ? QVariant(connection->connPID) : QVariant();
    case ColumnDate:
        return role == Qt::DisplayRole ? QVariant(connection->connDate) : QVariant();
    default:
        return {};
    }
}

QVariant PAConnectionsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case ColumnProcessName:
        return tr("App");
    case ColumnAddress:
        return tr("Address");
    case ColumnPort:
        return tr("Port");
    case ColumnUID:
        return tr("UID");
    case ColumnPID:
        return tr("PID");
    case ColumnDate:
        return tr("Date");
    default:
        return QString();
    }
}

void PAConnectionsModel::m_rowChanged(quint64 serial)
{
    const int row = m_rowOfSerial(serial);
    if (row >= 0)
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

int PAConnectionsModel::m_rowOfSerial(quint64 serial) const
{
    const auto found = std::lower_bound(m_rows.begin(), m_rows.end(), serial,
                                        [](const Row& row, quint64 wanted) { return row.serial < wanted; });
    if (found == m_rows.end() || found->serial != serial)
        return -1;
    return static_cast<int>(found - m_rows.begin());
}

void PAConnectionsModel::m_retire(std::vector<std::unique_ptr<PAConnection>> connections)
{
    if (connections.empty())
        return;
    if (m_retired.empty())
        m_retired = std::move(connections);
    else
        std::move(connections.begin(), connections.end(), std::back_inserter(m_retired));
    if (!m_retireQueued) {
        m_retireQueued = true;
        QMetaObject::invokeMethod(this, &PAConnectionsModel::m_deleteRetiredSlice, Qt::QueuedConnection);
    }
}

void PAConnectionsModel::m_deleteRetiredSlice()
{
    m_retireQueued = false;
    const size_t slice = std::min(kRetireSlice, m_retired.size());
    m_retired.erase(m_retired.end() - static_cast<std::ptrdiff_t>(slice), m_retired.end());
    if (!m_retired.empty()) {
        m_retireQueued = true;
        QMetaObject::invokeMethod(this, &PAConnectionsModel::m_deleteRetiredSlice, Qt::QueuedConnection);
    }
}
