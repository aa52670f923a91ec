#pragma once

#include <QSortFilterProxyModel>
#include <QString>

#include <optional>

// The per-app connections list: the connections log narrowed to the rows
// whose process path, or whose responsible application's path, contains an
// app's path, ignoring case and diacritics. Without an app it shows every
// row. Main thread only.
class PAAppConnectionsFilter : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit PAAppConnectionsFilter(QObject* parent = nullptr);

    // The app whose connections show; nullopt shows every row again.
    void setAppPath(const std::optional<QString>& appPath);
    const std::optional<QString>& appPath() const { return m_appPath; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    std::optional<QString> m_appPath;
    QString m_foldedAppPath;
};
