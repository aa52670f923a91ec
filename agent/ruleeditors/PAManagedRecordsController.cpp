#include "PAManagedRecordsController.h"

PAManagedRecordsController::PAManagedRecordsController(QObject* parent)
    : QObject(parent)
    , recordsLibraryController(new ArrayController<PAManagedRecords>(this))
{
    recordsLibraryController->setContent(&recordsLibrary);
}

PAManagedRecordsController::~PAManagedRecordsController() = default;
