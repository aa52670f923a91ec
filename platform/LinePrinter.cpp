#include "platform/LinePrinter.h"

#include <QByteArray>

#include <cstdio>

void StandardOutputPrinter::printLine(const QString& line)
{
    QByteArray bytes = line.toLocal8Bit();
    bytes.append('\n');
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    // A reader that has gone loses this line, nothing more; the stream is
    // left fit for the next one should a reader come back.
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        std::clearerr(stdout);
}
