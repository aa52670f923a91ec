#include "alerts/PANotifyController.h"

#include "alerts/PANotifyWindowController.h"
#include "core/SharedState.h"
#include "daemonlink/DaemonAnswer.h"
#include "daemonlink/PARequestRoad.h"
#include "daemonlink/managesocketagent.h"
#include "platform/LogFile.h"
#include "platform/Paths.h"

#include <limits>
#include <optional>
#include <unistd.h>

PANotifyController::PANotifyController(PARequestRoad& road, managesocketagent& endpoint, QObject* parent)
    : QObject(parent)
    , mymanagesocketagent(endpoint)
    , m_road(road)
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
        m_road.endWithoutAlert();
        return;
    }

    const QString tag = m_road.takeTag();
    const QString path = mymanagesocketagent.infoprocess(*pid);
    if (path == QLatin1String("error")) {
        mymanagesocketagent.sendsocketagent(DaemonAnswer::withState(stripped, 0));
        m_road.endWithoutAlert();
        return;
    }

    auto controller = std::make_shared<PANotifyWindowController>(m_road);
    m_road.open(tag, controller);
    controller->setNotifyParameters(fields.at(3), path, QString(), fields.at(1), fields.at(2), fields.at(4),
                                    fields.at(5), text, tag, fields.at(6));
}

void PANotifyController::logFileChanged()
{
    LogFile::reopenStandardError(Paths::home() + QStringLiteral("/Library/Logs/palisor.log"));
}
