#pragma once

#include <QString>
#include <QVariantMap>

// A stored managed-app record of a plain executable /usr/bin/<name>, as the
// configuration writer stores it.
QVariantMap plainAppRecord(const QString& name, qint64 state);
