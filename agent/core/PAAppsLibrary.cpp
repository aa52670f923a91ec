#include "core/PAAppsLibrary.h"

#include <utility>

PAAppsLibrary& PAAppsLibrary::operator=(Apps apps)
{
    m_apps = std::move(apps);
    ++m_generation;
    return *this;
}

PAAppsLibrary& PAAppsLibrary::operator=(std::initializer_list<value_type> apps)
{
    return *this = Apps(apps);
}

void PAAppsLibrary::push_back(value_type app)
{
    m_apps.push_back(std::move(app));
    ++m_generation;
}

PAAppsLibrary::const_iterator PAAppsLibrary::insert(const_iterator position, value_type app)
{
    const auto inserted = m_apps.insert(position, std::move(app));
    ++m_generation;
    return inserted;
}

PAAppsLibrary::const_iterator PAAppsLibrary::erase(const_iterator position)
{
    const auto next = m_apps.erase(position);
    ++m_generation;
    return next;
}

void PAAppsLibrary::clear()
{
    m_apps.clear();
    ++m_generation;
}
