#include "alerts/PANotifyController.h"

#include "alerts/PANotifyWindowController.h"
#include "core/AgentLog.h"
#include "core/PAWorkQueues.h"
#include "core/SharedState.h"
#include "daemonlink/ConnectionEvent.h"
#include "daemonlink/DaemonAnswer.h"
#include "daemonlink/DaemonRequest.h"
#include "daemonlink/PARequestRoad.h"
#include "daemonlink/managesocketagent.h"
#include "platform/Clock.h"
#include "platform/ConcurrentQueue.h"
#include "platform/LogFile.h"
#include "platform/MainQueue.h"
#include "platform/Paths.h"

#include <QPointer>

#include <optional>
#include <unistd.h>

PANotifyController::PANotifyController(PARequestRoad& road, managesocketagent& endpoint, PAWorkQueues& queues,
                                       QObject* parent)
    : QObject(parent)
    , mymanagesocketagent(endpoint)
    , m_road(road)
    , m_queues(queues)
{
    myUID = static_cast<qint64>(getuid());
}

PANotifyController::~PANotifyController() = default;

void PANotifyController::addRequest(const QString& text)
{
    // A request of another form, or with a process id that is no process id,
    // is dropped without an answer and without using a tag.
    const std::optional<DaemonRequest> request = DaemonRequest::parse(text);
    if (!request) {
        m_road.endWithoutAlert();
        return;
    }

    const QString tag = m_road.takeTag();
    const ProcessInfo::Name process = mymanagesocketagent.infoprocessName(request->pid);
    if (process.path == QLatin1String("error")) {
        mymanagesocketagent.sendsocketagent(DaemonAnswer::withState(request->stripped, 0));
        m_road.endWithoutAlert();
        return;
    }

    const QStringList& fields = request->fields;
    auto controller = std::make_shared<PANotifyWindowController>(m_road, m_queues);
    m_road.open(tag, controller);
    controller->setNotifyParameters(fields.at(3), process.path, QString(), fields.at(1), fields.at(2),
                                    fields.at(4), fields.at(5), text, tag, fields.at(6), process.verified);
}

void PANotifyController::palisorconnections(const DistributedNotificationCenter::Notification& notification)
{
    const QVariant line = notification.userInfo.value(QStringLiteral("connections"));
    if (line.typeId() != QMetaType::QString)
        return;
    std::optional<QStringList> fields = connectionEventFields(line.toString());
    if (!fields)
        return;
    QPointer<PANotifyController> self(this);
    const qint64 uid = myUID;
    m_queues.work().async([self, uid, fields = std::move(*fields)] {
        const ParsedConnection parsed = parseConnectionEvent(fields, SystemConnectionLookups(), uid);
        MainQueue::async([self, parsed] {
            if (self)
                self->recordConnectionEvent(parsed);
        });
    });
}

void PANotifyController::recordConnectionEvent(const ParsedConnection& connection)
{
    if (connection.path != QLatin1String("error"))
        emit connectionReported(connection);
    if (loggaSuFile) {
        const double seconds = double(Clock::shared().now().toMSecsSinceEpoch()) / 1000.0;
        qCInfo(lcConnections, "%s", qUtf8Printable(connectionLogLine(connection, seconds)));
    }
}

void PANotifyController::logFileChanged()
{
    LogFile::reopenStandardError(Paths::home() + QStringLiteral("/Library/Logs/palisor.log"));
}
