#pragma once

#include <QObject>

#include <memory>
#include <vector>

class PAApplication;
class PAExclusion;
class PAManagedRecords;

// The one owner of the shared rule lists (sharedAppsLibrary, exclusionsList,
// recordsList). Whatever changes them, the loader, the request road or a
// window publishing its edits, goes through here, and the windows follow by
// these signals. Main thread only, like the lists.
class PARuleLists : public QObject
{
    Q_OBJECT

public:
    using Apps = std::vector<std::shared_ptr<PAApplication>>;
    using Exclusions = std::vector<std::shared_ptr<PAExclusion>>;
    using Records = std::vector<std::shared_ptr<PAManagedRecords>>;

    explicit PARuleLists(QObject* parent = nullptr);

    // A whole new list of managed apps: a load, or clearing them all.
    void replaceApps(Apps apps);
    // An app the request road has just learnt: first in the list.
    void insertApp(const std::shared_ptr<PAApplication>& app);
    // The main window's list, edited there, becomes the shared one. Windows
    // are not told: their list is where the change came from.
    void publishApps(const Apps& apps);

    void replaceExclusions(Exclusions exclusions);
    void replaceRecords(Records records);
    // The Global Rules editor's list, edited there, becomes the shared one.
    void publishRecords(const Records& records);

signals:
    void appsReplaced();
    void appInserted(const std::shared_ptr<PAApplication>& app);
    void exclusionsReplaced();
    void recordsReplaced();
};
