#pragma once

#include <QObject>
#include <QString>

// Loads the country zones (PACountryTable::countryZones) from the
// "<code>-aggregated.zone" files of the sibling firewall's folder, or of our
// own resources when the sibling's folder is missing. Made by the composition
// root, which loads once on the main thread at launch, before the daemon's
// requests can arrive.
class PAFlagsController : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString thePath READ thePath WRITE setThePath)

public:
    static constexpr const char* kSiblingZonesFolder =
        "/Library/Application Support/Tolvane/Nations/aggregated";
    static constexpr const char* kResourceZonesFolder = "aggregated";
    static constexpr const char* kZoneSuffix = "-aggregated.zone";

    // What a loader reads at most. The real zones fill a few megabytes in a
    // few hundred files; a folder or a file far beyond that is damaged or
    // planted, and the launch must neither hang on it nor exhaust memory.
    static constexpr qint64 kMaxZoneFileBytes = qint64(16) << 20;
    static constexpr qint64 kMaxZoneLines = 1'000'000; // over all files
    static constexpr int kMaxEntries = 100'000;        // files and folders walked
    static constexpr int kMaxDepth = 32;

    explicit PAFlagsController(QObject* parent = nullptr);

    QString thePath() const { return m_thePath; }
    void setThePath(const QString& path) { m_thePath = path; }

    void awakeFromNib();
    // Replaces countryZones with the zone files found under the sibling's
    // folder (walking thePath) or, when that does not exist, under the
    // resource folder, which thePath then names.
    void makeDict();

private:
    QString m_thePath;
};
