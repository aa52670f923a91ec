#include "support/RuleSets.h"

#include "support/EventLoop.h"

namespace RuleSets {

QList<RecordingDistributedCenter::Post> postsNamed(const RecordingDistributedCenter& center,
                                                   const QString& name)
{
    QList<RecordingDistributedCenter::Post> result;
    for (const auto& post : center.posts())
        if (post.name == name)
            result.append(post);
    return result;
}

bool waitFor(const RecordingDistributedCenter& center, int count)
{
    return processEventsUntil(
        [&] { return postsNamed(center, QStringLiteral("newAppListReceived")).size() >= count; });
}

QStringList last(const RecordingDistributedCenter& center)
{
    const auto sets = postsNamed(center, QStringLiteral("newAppListReceived"));
    if (sets.isEmpty())
        return {QStringLiteral("none sent")};
    QStringList apps;
    for (const QVariant& entry : sets.last().userInfo.value(QStringLiteral("AppList")).toList()) {
        const QVariantMap app = entry.toMap();
        apps << app.value(QStringLiteral("appBinaries")).toStringList().join(',') + QLatin1Char(' ') +
                    QString::number(app.value(QStringLiteral("appIsBlockedOrAllowed")).toLongLong()) +
                    QLatin1Char(' ') + app.value(QStringLiteral("appMatches")).toStringList().join(',');
    }
    return apps;
}

} // namespace RuleSets
