#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// One connection request of the daemon, checked: seven fields on single
// blanks once its line feeds are gone, field 3 the process id and field 6 the
// responsible process's id, each decimal and within 32 bits unsigned.
struct DaemonRequest
{
    // The text without its line feeds.
    QString stripped;
    QStringList fields;
    uint32_t pid = 0;

    // nullopt for a text that cannot be a request.
    static std::optional<DaemonRequest> parse(const QString& text);
};
