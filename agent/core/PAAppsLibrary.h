#pragma once

#include <QtGlobal>

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <vector>

class PAApplication;

// The list type of sharedAppsLibrary: a vector of the managed apps that
// counts its changes, so that a look-up index over it can tell in constant
// time whether it is still current instead of comparing every entry on each
// daemon request. Entries are read-only through the list (an entry is
// replaced only by the calls that count); the apps themselves stay mutable.
// Main thread only, like the list.
class PAAppsLibrary
{
public:
    using Apps = std::vector<std::shared_ptr<PAApplication>>;
    using value_type = Apps::value_type;
    using size_type = Apps::size_type;
    using const_iterator = Apps::const_iterator;
    using iterator = const_iterator;

    PAAppsLibrary() = default;
    PAAppsLibrary(const PAAppsLibrary&) = default;
    PAAppsLibrary& operator=(const PAAppsLibrary& other) { return *this = other.m_apps; }

    PAAppsLibrary& operator=(Apps apps);
    PAAppsLibrary& operator=(std::initializer_list<value_type> apps);
    operator const Apps&() const { return m_apps; }

    const_iterator begin() const { return m_apps.begin(); }
    const_iterator end() const { return m_apps.end(); }
    size_type size() const { return m_apps.size(); }
    bool empty() const { return m_apps.empty(); }
    const value_type& front() const { return m_apps.front(); }
    const value_type& back() const { return m_apps.back(); }
    const value_type& operator[](size_type position) const { return m_apps[position]; }
    const value_type& at(size_type position) const { return m_apps.at(position); }

    void push_back(value_type app);
    const_iterator insert(const_iterator position, value_type app);
    const_iterator erase(const_iterator position);
    void clear();

    // The same apps in the same order.
    bool operator==(const PAAppsLibrary& other) const { return m_apps == other.m_apps; }

    // Differs after every change of which apps the list holds or their order.
    quint64 generation() const { return m_generation; }

private:
    Apps m_apps;
    quint64 m_generation = 0;
};
