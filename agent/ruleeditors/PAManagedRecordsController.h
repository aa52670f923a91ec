#pragma once

#include "core/PAManagedRecords.h"
#include "platform/ArrayController.h"

#include <QObject>

#include <memory>
#include <vector>

// The Global Rules editor's controller: its list of Global Rules in evaluation
// order, which the rule set sent to the daemon is built from.
class PAManagedRecordsController : public QObject
{
    Q_OBJECT

public:
    explicit PAManagedRecordsController(QObject* parent = nullptr);
    ~PAManagedRecordsController() override;

    std::vector<std::shared_ptr<PAManagedRecords>> recordsLibrary;
    ArrayController<PAManagedRecords>* recordsLibraryController = nullptr;

private:
    // The editor shows the shared Global Rules whenever they are replaced.
    void m_followSharedRecords();

    bool m_following = false;
};
