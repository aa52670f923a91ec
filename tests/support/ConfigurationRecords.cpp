#include "support/ConfigurationRecords.h"

#include <QVariantList>

QVariantMap plainAppRecord(const QString& name, qint64 state)
{
    return QVariantMap{{"PalisorClassName", QStringLiteral("PAApplication")},
                       {"appName", name},
                       {"appPath", QStringLiteral("/usr/bin/") + name},
                       {"appBinaries", QVariantList{QStringLiteral("/usr/bin/") + name}},
                       {"appIsBundle", false},
                       {"appIsBlockedOrAllowed", state},
                       {"appMatches", QVariantList{}}};
}
