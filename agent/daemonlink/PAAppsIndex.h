#pragma once

#include <QHash>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class PAApplication;

// Look-ups over sharedAppsLibrary for the request road, without a substring
// test against every managed app per request: the apps' names are searched
// for in a process path in one pass (Aho-Corasick), and names and paths are
// hashed for the exact look-ups. Rebuilt whenever the list or any app's name,
// binaries or path changed. Main thread only.
class PAAppsIndex
{
public:
    PAAppsIndex() = default;
    // An index over another list (tests and benchmarks).
    explicit PAAppsIndex(const std::vector<std::shared_ptr<PAApplication>>& apps) { m_rebuild(apps); }

    // The shared index over sharedAppsLibrary, brought up to date.
    static PAAppsIndex& current();

    // Indexes into the list, ascending, of the apps whose name occurs in
    // `path` as a substring.
    std::vector<int> appsNamedWithin(const QString& path) const;
    // First app in list order with this name / this path; -1 when none.
    int firstNamed(const QString& name) const;
    int firstWithPath(const QString& path) const;
    // The app a process belongs to: inside a bundle, the first app named as
    // the bundle whose rule judges the path (a copy of the bundle elsewhere
    // is not it), else the first app with exactly this path; -1 when none.
    int firstHolding(const QString& path) const;

    const std::vector<std::shared_ptr<PAApplication>>& apps() const { return m_apps; }

private:
    void m_rebuild(const std::vector<std::shared_ptr<PAApplication>>& apps);

    struct Node
    {
        QHash<char16_t, int> next;
        int fail = 0;
        // Name ids ending here, own and through the failure links.
        std::vector<int> names;
    };

    std::vector<std::shared_ptr<PAApplication>> m_apps;
    uint64_t m_generation = UINT64_MAX;
    // sharedAppsLibrary's generation when current() last rebuilt from it.
    uint64_t m_listGeneration = UINT64_MAX;
    std::vector<Node> m_nodes;
    std::vector<std::vector<int>> m_appsOfName;
    // Per name id, set while appsNamedWithin() walks and cleared before it returns.
    mutable std::vector<char> m_nameSeen;
    std::vector<int> m_appsWithEmptyName;
    QHash<QString, int> m_firstByName;
    // Every app per name, ascending.
    QHash<QString, std::vector<int>> m_allByName;
    QHash<QString, int> m_firstByPath;
};
