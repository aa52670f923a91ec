#pragma once

#include <QObject>

#include <vector>

// What every ArrayController has whatever its element type: the signals, the
// selection as arranged indexes and the selection flags. The table model and
// the selection binding work through this class alone.
//
// Main thread only, like the windows whose lists the controllers arrange: no
// member may be called from another thread.
class ArrayControllerBase : public QObject
{
    Q_OBJECT

public:
    explicit ArrayControllerBase(QObject* parent = nullptr);
    ~ArrayControllerBase() override;

    virtual int arrangedCount() const = 0;

    // Arranged indexes, ascending, without duplicates.
    const std::vector<int>& selectionIndexes() const { return m_selection; }
    // Order and duplicates do not matter; indexes outside the arranged objects are dropped.
    void setSelectionIndexes(std::vector<int> indexes);
    // The first selected index, or -1 when nothing is selected.
    int selectionIndex() const;
    void clearSelection();

    // Objects added or inserted through the controller become the selection (on by default).
    bool selectsInsertedObjects() const { return m_selectsInsertedObjects; }
    void setSelectsInsertedObjects(bool selects);

signals:
    // Emitted around every change of the arranged objects, one pair per change,
    // so a model can reset between them.
    void aboutToRearrange();
    void arrangedObjectsChanged();
    // The selection indexes changed (also when the same objects moved).
    void selectionChanged();

protected:
    // Replaces the selection without emitting; returns whether it changed.
    bool m_replaceSelection(std::vector<int> indexes);

private:
    std::vector<int> m_selection;
    bool m_selectsInsertedObjects = true;
};
