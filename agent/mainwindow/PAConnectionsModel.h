#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

class PAConnection;

// The live connections log as the table shows it, oldest first. Reports
// arrive by the thousand per second and leave from the front as they age,
// so rows are appended in batches (one insertion per turn of the event loop,
// however many arrived) and removed in contiguous runs, never by a reset that
// would make the view start over. Main thread only.
class PAConnectionsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    // The seven columns of the all-connections table.
    enum Column {
        ColumnImage,
        ColumnProcessName,
        ColumnAddress,
        ColumnPort,
        ColumnUID,
        ColumnPID,
        ColumnDate,
        ColumnCount
    };
    // The PAConnection* of a row, for the views and their proxies.
    static constexpr int ConnectionRole = Qt::UserRole + 1;

    explicit PAConnectionsModel(QObject* parent = nullptr);
    ~PAConnectionsModel() override;

    // Takes the connection (and its ownership); it becomes a row with the
    // next batch, on a later turn of the event loop or at flushPending().
    void append(PAConnection* connection);
    // Makes the waiting connections rows now, in one insertion.
    void flushPending();
    int pendingCount() const { return static_cast<int>(m_pending.size()); }
    // Rows shown plus connections waiting for the next batch.
    int connectionCount() const { return rowCount() + pendingCount(); }

    PAConnection* connectionAt(int row) const;
    // The row of a connection that is shown; -1 otherwise.
    int rowOf(const PAConnection* connection) const;

    // Removes every row at least `ttlSeconds` old at `now` (pending ones
    // first become rows), each contiguous run in one removal. Returns how
    // many went.
    int removeAged(const QDateTime& now, double ttlSeconds);
    // Empties the list, the pending connections included.
    void removeAll();
    // Calls `visit` for every shown row, oldest first.
    void forEachConnection(const std::function<void(PAConnection&)>& visit) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    // After a batch of rows has been inserted.
    void rowsAppended();

private:
    struct Row
    {
        std::unique_ptr<PAConnection> connection;
        // connRealDate in milliseconds since 1970, read once: converting a
        // local date for every row at every pruning tick would stall the
        // window with a few hundred thousand rows.
        qint64 realMs = 0;
        // Increases along the list, so a row is found by binary search after
        // rows before it have gone.
        quint64 serial = 0;
    };

    void m_rowChanged(quint64 serial);
    int m_rowOfSerial(quint64 serial) const;
    // Destroys removed connections a slice per turn of the event loop: tens
    // of thousands go at each tick, too many to delete in one turn.
    void m_retire(std::vector<std::unique_ptr<PAConnection>> connections);
    void m_deleteRetiredSlice();

    std::deque<Row> m_rows;
    std::vector<std::unique_ptr<PAConnection>> m_pending;
    std::vector<std::unique_ptr<PAConnection>> m_retired;
    bool m_flushQueued = false;
    bool m_retireQueued = false;
    quint64 m_nextSerial = 1;
};
