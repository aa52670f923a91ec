#include "ruleeditors/PAExclusionController.h"

#include "core/PARuleLists.h"
#include "core/SharedState.h"

PAExclusionController::PAExclusionController(QObject* parent)
    : QObject(parent)
    , exclusionLibraryController(new ArrayController<PAExclusion>(this))
{
    exclusionLibraryController->setContent(&exlusionsLibrary);
    connect(&ruleLists(), &PARuleLists::exclusionsReplaced, this, &PAExclusionController::drawTable);
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
