#pragma once

#include "platform/ArrayController.h"
#include "setup/PACustomPreset.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QWidget>

#include <memory>
#include <vector>

// The presets saved in the shared folder: reading their files, listing them
// for the presets table and finding the one bound to a network location.
class PACustomPresetsWindowController : public QObject
{
    Q_OBJECT

public:
    explicit PACustomPresetsWindowController(QObject* parent = nullptr);
    ~PACustomPresetsWindowController() override;

    // The preset folder, with its trailing "/": paths are built by appending to it.
    static QString thePath();

    // `length` characters of "abcdefghijklmnopqrstuvwxyz0123456789", each drawn uniformly.
    static QString randomCharacterFunc(int length);

    // The configuration record array of a file in either stored form; empty
    // when the file cannot be read as one.
    Q_INVOKABLE QVariantList getPalisorConf(const QString& path) const;
    // The first preferences record's text value for `key`, or "".
    Q_INVOKABLE QString readPresetValue(const QString& path, const QString& key) const;
    Q_INVOKABLE QString getPresetNameFromFile(const QString& path) const;
    Q_INVOKABLE QString getLocationIDFromFile(const QString& path) const;
    Q_INVOKABLE QString getLocationNameFromFile(const QString& path) const;
    Q_INVOKABLE QString getNameOfPreset(const QString& path) const;
    // The first file, in enumeration order, bound to the location; "" when none.
    Q_INVOKABLE QString getPathOfPresetWithLocationID(const QString& id) const;

    // Rebuilds the list from the folder, creating the folder when it is missing.
    void displayAllCustomPresets();

    std::vector<std::shared_ptr<PACustomPreset>> customPresetsLibrary;
    ArrayController<PACustomPreset>* customPresetsLibraryController = nullptr;
    QStringList alreadyUsedLocationsIDs;
    // Set when the presets window is built.
    QPointer<QWidget> window;

private:
    // Relative paths of the folder's entries that end in "plist", in enumeration order.
    static QStringList m_presetEntries();
    QList<QVariantMap> m_preferencesRecords(const QString& path) const;
};
