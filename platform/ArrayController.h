#pragma once

#include "platform/ArrayControllerBase.h"
#include "platform/Log.h"

#include <QtGlobal>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_set>
#include <vector>

// Sits between a window's list and the view that shows it. The list stays the
// window's: the controller works on it in place through the pointer given to
// setContent() and never owns it, so the list must outlive the binding (or be
// unbound first). What the view shows is arrangedObjects(): the list filtered,
// then sorted, recomputed by rearrangeObjects(). Every change made through the
// controller rearranges by itself; a change made directly to the list shows
// after rearrangeObjects() or setContent().
//
// Objects are told apart by identity (the pointer), never by value: removing
// removes every entry holding that pointer, and the selection follows the
// selected objects when they move, leaving it when they stop being arranged.
// Null entries in the list are never arranged.
//
// Main thread only (see ArrayControllerBase).
template <class T> class ArrayController : public ArrayControllerBase
{
public:
    using Pointer = std::shared_ptr<T>;
    using List = std::vector<Pointer>;
    // An empty function means no filter.
    using FilterPredicate = std::function<bool(const T&)>;
    // A "less than"; an empty function keeps the content order. The sort is stable.
    using SortComparator = std::function<bool(const T&, const T&)>;

    explicit ArrayController(QObject* parent = nullptr)
        : ArrayControllerBase(parent)
    {
    }

    // Binds to `content`, or unbinds with nullptr: nothing is arranged then and
    // the selection clears. The list itself is never touched by (un)binding.
    void setContent(List* content);
    // The bound list: the owner's, the controller's own one (see addObject()), or nullptr.
    List* content() const { return m_content; }

    const List& arrangedObjects() const { return m_arranged; }
    int arrangedCount() const override { return static_cast<int>(m_arranged.size()); }

    void setFilterPredicate(FilterPredicate predicate);
    const FilterPredicate& filterPredicate() const { return m_filter; }
    void setSortComparator(SortComparator comparator);
    const SortComparator& sortComparator() const { return m_sort; }
    void rearrangeObjects();

    // Appends to the bound list. With no list bound the controller makes a list
    // of its own and binds it, so what is added is never lost; content() then
    // returns that list, which lives until another content is set. Refuses a
    // null object (returns false).
    bool addObject(const Pointer& object);
    // Null objects are skipped.
    void addObjects(const List& objects);
    // Inserts so that the object shows at `arrangedIndex` as things stand: into
    // the list just before the object arranged there, or at the end when
    // `arrangedIndex` equals arrangedCount(). A sort may still move it. Refuses
    // a null object or an index outside 0..arrangedCount() (returns false).
    bool insertObject(const Pointer& object, int arrangedIndex);
    void removeObject(const Pointer& object);
    // One rearrangement for the whole batch.
    void removeObjects(const List& objects);
    bool removeObjectAtArrangedObjectIndex(int index);
    // Refuses the whole batch (returns false) when any index is not arranged.
    bool removeObjectsAtArrangedObjectIndexes(const std::vector<int>& indexes);

    // In arranged order.
    List selectedObjects() const;
    // Objects that are not arranged are left out.
    void setSelectedObjects(const List& objects);

private:
    using Identities = std::unordered_set<const T*>;

    List& m_boundContent();
    void m_insert(const List& objects, typename List::difference_type position);
    // Recomputes the arranged objects; the selection becomes `selection` when
    // given, otherwise the objects selected now that stay arranged.
    void m_rearrange(const std::optional<Identities>& selection = std::nullopt);

    List* m_content = nullptr;
    std::unique_ptr<List> m_ownedContent;
    List m_arranged;
    FilterPredicate m_filter;
    SortComparator m_sort;
};

template <class T> void ArrayController<T>::setContent(List* content)
{
    m_content = content;
    if (content != m_ownedContent.get())
        m_ownedContent.reset();
    m_rearrange();
}

template <class T> void ArrayController<T>::setFilterPredicate(FilterPredicate predicate)
{
    m_filter = std::move(predicate);
    m_rearrange();
}

template <class T> void ArrayController<T>::setSortComparator(SortComparator comparator)
{
    m_sort = std::move(comparator);
    m_rearrange();
}

template <class T> void ArrayController<T>::rearrangeObjects()
{
    m_rearrange();
}

template <class T> bool ArrayController<T>::addObject(const Pointer& object)
{
    if (!object) {
        qCWarning(lcPlatform, "ArrayController: refused to add a null object");
        return false;
    }
    addObjects({object});
    return true;
}

template <class T> void ArrayController<T>::addObjects(const List& objects)
{
    m_insert(objects, static_cast<typename List::difference_type>(m_boundContent().size()));
}

template <class T> bool ArrayController<T>::insertObject(const Pointer& object, int arrangedIndex)
{
    if (!object) {
        qCWarning(lcPlatform, "ArrayController: refused to insert a null object");
        return false;
    }
    if (arrangedIndex < 0 || arrangedIndex > arrangedCount()) {
        qCWarning(lcPlatform, "ArrayController: insertion index %d is outside 0..%d", arrangedIndex,
                  arrangedCount());
        return false;
    }
    List& content = m_boundContent();
    auto position = content.end();
    // The list may have changed since the last rearrangement; an object that
    // has left it has no place to insert before, so the new one goes last.
    if (arrangedIndex < arrangedCount())
        position = std::find(content.begin(), content.end(), m_arranged[static_cast<size_t>(arrangedIndex)]);
    m_insert({object}, position - content.begin());
    return true;
}

template <class T> void ArrayController<T>::removeObject(const Pointer& object)
{
    removeObjects({object});
}

template <class T> void ArrayController<T>::removeObjects(const List& objects)
{
    if (m_content) {
        Identities removed;
        for (const Pointer& object : objects)
            removed.insert(object.get());
        std::erase_if(*m_content, [&removed](const Pointer& entry) { return removed.contains(entry.get()); });
    }
    m_rearrange();
}

template <class T> bool ArrayController<T>::removeObjectAtArrangedObjectIndex(int index)
{
    return removeObjectsAtArrangedObjectIndexes({index});
}

template <class T>
bool ArrayController<T>::removeObjectsAtArrangedObjectIndexes(const std::vector<int>& indexes)
{
    List objects;
    for (int index : indexes) {
        if (index < 0 || index >= arrangedCount()) {
            qCWarning(lcPlatform, "ArrayController: no arranged object at index %d (%d arranged)", index,
                      arrangedCount());
            return false;
        }
        objects.push_back(m_arranged[static_cast<size_t>(index)]);
    }
    removeObjects(objects);
    return true;
}

template <class T> typename ArrayController<T>::List ArrayController<T>::selectedObjects() const
{
    List objects;
    objects.reserve(selectionIndexes().size());
    for (int index : selectionIndexes())
        objects.push_back(m_arranged[static_cast<size_t>(index)]);
    return objects;
}

template <class T> void ArrayController<T>::setSelectedObjects(const List& objects)
{
    Identities wanted;
    for (const Pointer& object : objects)
        wanted.insert(object.get());
    std::vector<int> indexes;
    for (size_t i = 0; i < m_arranged.size(); ++i) {
        if (wanted.contains(m_arranged[i].get()))
            indexes.push_back(static_cast<int>(i));
    }
    setSelectionIndexes(std::move(indexes));
}

template <class T> typename ArrayController<T>::List& ArrayController<T>::m_boundContent()
{
    if (!m_content) {
        m_ownedContent = std::make_unique<List>();
        m_content = m_ownedContent.get();
    }
    return *m_content;
}

template <class T>
void ArrayController<T>::m_insert(const List& objects, typename List::difference_type position)
{
    List& content = m_boundContent();
    Identities inserted;
    for (const Pointer& object : objects) {
        if (!object)
            continue;
        content.insert(content.begin() + position++, object);
        inserted.insert(object.get());
    }
    if (selectsInsertedObjects())
        m_rearrange(inserted);
    else
        m_rearrange();
}

template <class T> void ArrayController<T>::m_rearrange(const std::optional<Identities>& selection)
{
    Identities selected;
    if (selection) {
        selected = *selection;
    } else {
        for (int index : selectionIndexes())
            selected.insert(m_arranged[static_cast<size_t>(index)].get());
    }

    List arranged;
    if (m_content) {
        for (const Pointer& object : *m_content) {
            if (object && (!m_filter || m_filter(*object)))
                arranged.push_back(object);
        }
    }
    if (m_sort) {
        std::stable_sort(arranged.begin(), arranged.end(),
                         [this](const Pointer& a, const Pointer& b) { return m_sort(*a, *b); });
    }

    std::vector<int> indexes;
    for (size_t i = 0; i < arranged.size(); ++i) {
        if (selected.contains(arranged[i].get()))
            indexes.push_back(static_cast<int>(i));
    }

    emit aboutToRearrange();
    m_arranged = std::move(arranged);
    const bool selectionMoved = m_replaceSelection(std::move(indexes));
    emit arrangedObjectsChanged();
    if (selectionMoved)
        emit selectionChanged();
}
