#include "daemonlink/DaemonRequest.h"

#include <limits>

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

std::optional<DaemonRequest> DaemonRequest::parse(const QString& text)
{
    DaemonRequest request;
    request.stripped = text;
    request.stripped.remove(QLatin1Char('\n'));
    request.fields = request.stripped.split(QLatin1Char(' '));
    if (request.fields.size() != 7)
        return std::nullopt;
    const std::optional<uint32_t> pid = pidField(request.fields.at(3));
    if (!pid || !pidField(request.fields.at(6)))
        return std::nullopt;
    request.pid = *pid;
    return request;
}
