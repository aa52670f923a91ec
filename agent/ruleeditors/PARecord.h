#pragma once

#include <QColor>
#include <QIcon>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// One row of the app rules popover: one of the app's matches, or "Everyone",
// the app's catch-all rule. A plain object, not a QObject: rows are built off
// the main thread from a copy of the app's matches, and only their pictures
// and colours are filled in on the main thread (prepareForDisplay()).
class PARecord
{
public:
    // `rule` 0 passes, any other value blocks. "Everyone" is disabled while
    // connection alerts are off (`alertsEnabled` as read on the main thread).
    PARecord(const QString& recordAddress, const QString& recordType, const QString& recordImageName,
             qint64 rule, bool alertsEnabled);

    // The shown text: every "@" and "#" taken out (for a range also
    // "_range"), or "Everyone".
    QString recordAddress;
    // "address", "subnet", "port", "range" or "Everyone".
    QString recordType;
    // "icon_ip", "icon_subnet", "icon_port", "icon_portrange" or "grp_everyone".
    QString recordImageName;
    QIcon recordImage;
    // The address, or its host name once looked up.
    QString recordLabel;
    QIcon recordCountryImage;
    qint64 recordRule = 0;
    QIcon recordRuleImage;
    // "@" for a pass row, "#" for a block row.
    QString recordPrefix;
    bool recordIsEnabled = false;
    QColor labelColor;
    // The match this row stands for, exactly as the app holds it; empty for
    // "Everyone". Removal goes by this text, never by one rebuilt from the
    // shown parts, which lose every "@" and "#" inside the match.
    QString recordMatch;

    bool isEveryone() const { return recordType == QLatin1String("Everyone"); }
    bool isBlock() const { return recordPrefix == QLatin1String("#"); }

    // The label goes back to the address.
    void displayIP();
    // Pictures and colours; main thread only.
    void prepareForDisplay();

    using List = std::vector<std::shared_ptr<PARecord>>;

    // The rows of an app with `matches` in `state`: blocked before passed
    // within each kind, kinds in the order addresses, subnets, ports, port
    // ranges, each in the order of the matches; then "Everyone" for states 0
    // to 3 (a pass row for 0 and 2, a block row for 1 and 3). A match that
    // begins with neither "@" nor "#" gives no row. Safe on any thread.
    static List buildRecordTables(const QStringList& matches, qint64 state, bool alertsEnabled);
};
