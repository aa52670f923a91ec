#include "PANotifyController.h"

#include "LogFile.h"
#include "PANotifyWindowController.h"
#include "SharedState.h"
#include "managesocketagent.h"
#include "Paths.h"

#include <limits>
#include <optional>
#include <unistd.h>

PANotifyController::PANotifyController(QObject* parent)
    : QObject(parent)
{
    myUID = static_cast<qint64>(getuid());
}

PANotifyController::~PANotifyController() = default;

namespace {

// A process id field: decimal digits only, fitting 32 bits unsigned.
std::optional<uint32_t> pidField(const QString& text)
{
    if (text.isEmpty() || text.size() > 10)
        return std::nullopt;
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    const qulonglong value = text.toULongLong();
    if (value > std::numeric_limits<uint32_t>::max())
        return std::nullopt;
    return static_cast<uint32_t>(value);
}

} // namespace

void PANotifyController::addRequest(const QString& text)
{
    QString stripped = text;
    stripped.remove(QLatin1Char('\n'));
    const QStringList fields = stripped.split(QLatin1Char(' '));
    // A request of another form, or with a process id that is no process id,
    // is dropped without an answer and without using a tag.
    const std::optional<uint32_t> pid = fields.size() == 7 ? pidField(fields.at(3)) : std::nullopt;
    if (!pid || !pidField(fields.at(6))) {
        PANotifyWindowController::endRequestWithoutAlert();
        return;
    }

    if (requestTagCounter == 999999)
        requestTagCounter = 1;
    ++requestTagCounter;
    const QString tag = QString::number(requestTagCounter);

    managesocketagent* endpoint = mymanagesocketagent.data();
    managesocketagent fallback;
    if (!endpoint)
        endpoint = &fallback;
    const QString path = endpoint->infoprocess(*pid);
    if (path == QLatin1String("error")) {
        endpoint->sendsocketagent(stripped + QStringLiteral(" 0 # #"));
        PANotifyWindowController::endRequestWithoutAlert();
        return;
    }

    PANotifyWindowController::beginRequest(tag);
    auto controller = std::make_shared<PANotifyWindowController>();
    openAlerts.insert(tag, controller);
    const QString uid = QString::number(endpoint->infoRootProcess(*pid));
    controller->setNotifyParameters(fields.at(3), path, uid, fields.at(1), fields.at(2), fields.at(4), fields.at(5),
                                    text, tag, fields.at(6));
}

void PANotifyController::logFileChanged()
{
    LogFile::reopenStandardError(Paths::home() + QStringLiteral("/Library/Logs/palisor.log"));
}
