#include "PANotifyController.h"

#include "LogFile.h"
#include "Paths.h"

#include <unistd.h>

PANotifyController::PANotifyController(QObject* parent)
    : QObject(parent)
{
    myUID = static_cast<qint64>(getuid());
}

PANotifyController::~PANotifyController() = default;

void PANotifyController::addRequest(const QString&)
{
}

void PANotifyController::logFileChanged()
{
    LogFile::reopenStandardError(Paths::home() + QStringLiteral("/Library/Logs/palisor.log"));
}
