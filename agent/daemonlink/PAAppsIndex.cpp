#include "daemonlink/PAAppsIndex.h"

#include "core/PAApplication.h"
#include "core/SharedState.h"

#include <algorithm>
#include <deque>

PAAppsIndex& PAAppsIndex::current()
{
    static PAAppsIndex index;
    // Asked on every daemon request: two counters, whatever the number of apps.
    if (index.m_generation != PAApplication::identityGeneration() ||
        index.m_listGeneration != sharedAppsLibrary.generation()) {
        index.m_rebuild(sharedAppsLibrary);
        index.m_listGeneration = sharedAppsLibrary.generation();
    }
    return index;
}

void PAAppsIndex::m_rebuild(const std::vector<std::shared_ptr<PAApplication>>& apps)
{
    m_apps = apps;
    m_generation = PAApplication::identityGeneration();
    m_nodes.assign(1, Node{});
    m_appsOfName.clear();
    m_nameSeen.clear();
    m_appsWithEmptyName.clear();
    m_firstByName.clear();
    m_allByName.clear();
    m_firstByPath.clear();

    QHash<QString, int> nameIds;
    for (int i = 0; i < static_cast<int>(apps.size()); ++i) {
        const PAApplication* app = apps[static_cast<size_t>(i)].get();
        if (!app)
            continue;
        const QString& name = app->appName();
        m_firstByName.insert(name, m_firstByName.value(name, i));
        m_allByName[name].push_back(i);
        m_firstByPath.insert(app->appPath(), m_firstByPath.value(app->appPath(), i));
        if (name.isEmpty()) {
            // The empty text occurs in every path.
            m_appsWithEmptyName.push_back(i);
            continue;
        }
        auto id = nameIds.constFind(name);
        if (id == nameIds.constEnd()) {
            id = nameIds.insert(name, static_cast<int>(m_appsOfName.size()));
            m_appsOfName.emplace_back();
            m_nameSeen.push_back(0);
            int node = 0;
            for (const QChar c : name) {
                const auto next = m_nodes[static_cast<size_t>(node)].next.constFind(c.unicode());
                if (next != m_nodes[static_cast<size_t>(node)].next.constEnd()) {
                    node = *next;
                } else {
                    m_nodes.emplace_back();
                    const int created = static_cast<int>(m_nodes.size()) - 1;
                    m_nodes[static_cast<size_t>(node)].next.insert(c.unicode(), created);
                    node = created;
                }
            }
            m_nodes[static_cast<size_t>(node)].names.push_back(*id);
        }
        m_appsOfName[static_cast<size_t>(*id)].push_back(i);
    }

    // Failure links, breadth first; each node also reports what its failure
    // target reports.
    std::deque<int> queue;
    for (auto it = m_nodes[0].next.cbegin(); it != m_nodes[0].next.cend(); ++it) {
        m_nodes[static_cast<size_t>(it.value())].fail = 0;
        queue.push_back(it.value());
    }
    while (!queue.empty()) {
        const int node = queue.front();
        queue.pop_front();
        for (auto it = m_nodes[static_cast<size_t>(node)].next.cbegin();
             it != m_nodes[static_cast<size_t>(node)].next.cend(); ++it) {
            const char16_t c = it.key();
            const int child = it.value();
            int fail = m_nodes[static_cast<size_t>(node)].fail;
            while (fail != 0 && !m_nodes[static_cast<size_t>(fail)].next.contains(c))
                fail = m_nodes[static_cast<size_t>(fail)].fail;
            const auto target = m_nodes[static_cast<size_t>(fail)].next.constFind(c);
            const int failTarget =
                (target != m_nodes[static_cast<size_t>(fail)].next.constEnd() && *target != child) ? *target
                                                                                                   : 0;
            m_nodes[static_cast<size_t>(child)].fail = failTarget;
            const std::vector<int>& inherited = m_nodes[static_cast<size_t>(failTarget)].names;
            auto& own = m_nodes[static_cast<size_t>(child)].names;
            own.insert(own.end(), inherited.begin(), inherited.end());
            queue.push_back(child);
        }
    }
}

std::vector<int> PAAppsIndex::appsNamedWithin(const QString& path) const
{
    // Only the marks this walk sets are cleared again: the cost follows the
    // names found, not the number of names.
    std::vector<int> found;
    std::vector<int> result = m_appsWithEmptyName;
    int node = 0;
    for (const QChar qc : path) {
        const char16_t c = qc.unicode();
        for (;;) {
            const auto next = m_nodes[static_cast<size_t>(node)].next.constFind(c);
            if (next != m_nodes[static_cast<size_t>(node)].next.constEnd()) {
                node = *next;
                break;
            }
            if (node == 0)
                break;
            node = m_nodes[static_cast<size_t>(node)].fail;
        }
        for (const int name : m_nodes[static_cast<size_t>(node)].names) {
            if (m_nameSeen[static_cast<size_t>(name)])
                continue;
            m_nameSeen[static_cast<size_t>(name)] = 1;
            found.push_back(name);
            const std::vector<int>& apps = m_appsOfName[static_cast<size_t>(name)];
            result.insert(result.end(), apps.begin(), apps.end());
        }
    }
    for (const int name : found)
        m_nameSeen[static_cast<size_t>(name)] = 0;
    std::sort(result.begin(), result.end());
    return result;
}

int PAAppsIndex::firstNamed(const QString& name) const
{
    return m_firstByName.value(name, -1);
}

int PAAppsIndex::firstWithPath(const QString& path) const
{
    return m_firstByPath.value(path, -1);
}

int PAAppsIndex::firstHolding(const QString& path) const
{
    if (!path.contains(QLatin1String(".app/Contents/")))
        return firstWithPath(path);
    const auto named = m_allByName.constFind(PAApplication::bundleNameOf(path));
    if (named == m_allByName.constEnd())
        return -1;
    for (const int position : *named)
        if (m_apps[static_cast<size_t>(position)]->holdsProcess(path))
            return position;
    return -1;
}
