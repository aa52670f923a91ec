#include "ruleeditors/PAManagedRecordsController.h"

#include "core/PARuleLists.h"
#include "core/SharedState.h"

PAManagedRecordsController::PAManagedRecordsController(QObject* parent)
    : QObject(parent)
    , recordsLibraryController(new ArrayController<PAManagedRecords>(this))
{
    recordsLibraryController->setContent(&recordsLibrary);
    connect(&ruleLists(), &PARuleLists::recordsReplaced, this,
            &PAManagedRecordsController::m_followSharedRecords);
    // Edits in the editor are the shared Global Rules at once: nothing on the
    // request road reads them, so they need not wait for a request to end.
    connect(recordsLibraryController, &ArrayControllerBase::arrangedObjectsChanged, this, [this] {
        if (!m_following)
            ruleLists().publishRecords(recordsLibrary);
    });
}

PAManagedRecordsController::~PAManagedRecordsController() = default;

void PAManagedRecordsController::m_followSharedRecords()
{
    const std::vector<std::shared_ptr<PAManagedRecords>> rules = recordsList;
    m_following = true;
    recordsLibrary.clear();
    recordsLibraryController->setContent(nullptr);
    recordsLibraryController->setContent(&recordsLibrary);
    if (!rules.empty()) {
        recordsLibraryController->addObjects(rules);
        if (recordsLibraryController->selectsInsertedObjects())
            recordsLibraryController->setSelectedObjects({rules.back()});
    }
    m_following = false;
}
