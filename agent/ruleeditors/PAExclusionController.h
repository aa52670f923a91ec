#pragma once

#include "core/PAExclusion.h"
#include "platform/ArrayController.h"

#include <QObject>

#include <memory>
#include <vector>

// The Managed Folders editor's controller: its copy of exclusionsList that the
// editor's table shows.
class PAExclusionController : public QObject
{
    Q_OBJECT

public:
    explicit PAExclusionController(QObject* parent = nullptr);
    ~PAExclusionController() override;

    // The editor's copy of the Managed Folders (the name is spelled so).
    std::vector<std::shared_ptr<PAExclusion>> exlusionsLibrary;
    ArrayController<PAExclusion>* exclusionLibraryController = nullptr;

    // Refills the editor from exclusionsList, in its order.
    void drawTable();

signals:
    void tableReloaded();
};
