#include "support/PeakMemory.h"

#include "platform/system/ProcessMemory.h"

#include <QFile>

namespace PeakMemory {

void reset()
{
    // What was freed would otherwise be handed out again without counting.
    ProcessMemory::returnFreedMemory();
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        clear.write("5");
}

long kilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').front().toLong();
    }
    return -1;
}

} // namespace PeakMemory
