#pragma once

#include <QSortFilterProxyModel>
#include <QString>

#include <optional>

// The per-app connections list: the connections log narrowed to the rows
// that PAAppConnectionRule gives one app (its path in the process path or in
// the responsible application's path, ignoring case and diacritics). Without
// an app it shows every row. Main thread only.
class PAAppConnectionsProxyModel : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit PAAppConnectionsProxyModel(QObject* parent = nullptr);

    // The app whose connections show; nullopt shows every row again.
    void setAppPath(const std::optional<QString>& appPath);
    const std::optional<QString>& appPath() const { return m_appPath; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    std::optional<QString> m_appPath;
    QString m_foldedAppPath;
};
