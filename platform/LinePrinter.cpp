#include "platform/LinePrinter.h"

#include <QByteArray>

#include <cstdio>

void StandardOutputPrinter::printLine(const QString& line)
{
    QByteArray bytes = line.toLocal8Bit();
    bytes.append('\n');
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}
