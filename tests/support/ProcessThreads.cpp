#include "support/ProcessThreads.h"

#include <QDir>
#include <QFile>

namespace {

QString readLine(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

} // namespace

namespace ProcessThreads {

std::vector<Thread> list()
{
    std::vector<Thread> threads;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& entry : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        Thread thread;
        thread.tid = entry.toInt();
        thread.name = readLine(tasks.filePath(entry + QStringLiteral("/comm")));
        // The name in stat may hold spaces and parentheses: fields are counted after its closing one.
        const QString stat = readLine(tasks.filePath(entry + QStringLiteral("/stat")));
        const QStringList fields = stat.mid(stat.lastIndexOf(QLatin1Char(')')) + 2).split(QLatin1Char(' '));
        if (fields.size() > 16)
            thread.nice = fields[16].toInt(); // field 19 of stat; the state is field 3
        if (thread.tid > 0 && !thread.name.isEmpty())
            threads.push_back(thread);
    }
    return threads;
}

std::vector<Thread> named(const QString& name, bool prefix)
{
    std::vector<Thread> found;
    for (const Thread& thread : list())
        if (prefix ? thread.name.startsWith(name) : thread.name == name)
            found.push_back(thread);
    return found;
}

} // namespace ProcessThreads
