#include "core/GetuserFromUID.h"

#include "platform/Identities.h"

QString GetuserFromUID::getuser(qint32 uid) const
{
    // The alert still has to say something about a process whose owner was
    // deleted or lives only in a container, and the number is all we know.
    return Identities::userName(static_cast<uid_t>(uid)).value_or(QString::number(uid));
}
