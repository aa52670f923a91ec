#include "PAExclusionController.h"

#include "SharedState.h"

PAExclusionController::PAExclusionController(QObject* parent)
    : QObject(parent)
    , exclusionLibraryController(new ArrayController<PAExclusion>(this))
{
    exclusionLibraryController->setContent(&exlusionsLibrary);
}

PAExclusionController::~PAExclusionController() = default;

void PAExclusionController::drawTable()
{
    exlusionsLibrary.clear();
    exclusionLibraryController->setContent(nullptr);
    exclusionLibraryController->setContent(&exlusionsLibrary);
    for (const auto& folder : exclusionsList)
        exclusionLibraryController->addObject(folder);
    emit tableReloaded();
}
