#include "platform/ArrayControllerBase.h"

#include <algorithm>

ArrayControllerBase::ArrayControllerBase(QObject* parent)
    : QObject(parent)
{
}

ArrayControllerBase::~ArrayControllerBase() = default;

void ArrayControllerBase::setSelectionIndexes(std::vector<int> indexes)
{
    if (m_replaceSelection(std::move(indexes)))
        emit selectionChanged();
}

int ArrayControllerBase::selectionIndex() const
{
    return m_selection.empty() ? -1 : m_selection.front();
}

void ArrayControllerBase::clearSelection()
{
    setSelectionIndexes({});
}

void ArrayControllerBase::setSelectsInsertedObjects(bool selects)
{
    m_selectsInsertedObjects = selects;
}

bool ArrayControllerBase::m_replaceSelection(std::vector<int> indexes)
{
    const int count = arrangedCount();
    std::erase_if(indexes, [count](int index) { return index < 0 || index >= count; });
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    if (indexes == m_selection)
        return false;
    m_selection = std::move(indexes);
    return true;
}
