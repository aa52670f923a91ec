#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <optional>

// Keyed archives in the genuine "$archiver"/"$top"/"$objects" form, so that
// configuration files move between this agent and the original platform.
// Only plain plist classes are written and read: arrays, dictionaries with
// string keys, strings, data and numbers.
class KeyedArchive
{
public:
    // Archives a tree of QVariantList / QVariantMap (string keys) / QString / bool / integers / double /
    // QByteArray as a binary plist keyed archive. Empty QByteArray when the tree holds something else.
    static QByteArray archive(const QVariant& root);
    // nullopt and a reason when the data is not an archive of the accepted classes.
    static std::optional<QVariant> unarchive(const QByteArray& data, QString* error = nullptr);
};
