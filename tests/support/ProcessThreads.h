#pragma once

#include <QString>

#include <vector>

// The threads of this process as /proc shows them: what `top -H` and a user's listing would see.
namespace ProcessThreads {

struct Thread {
    int tid = 0;
    QString name;
    int nice = 0;
};
std::vector<Thread> list();
// The threads whose name is `name` or, when `prefix` holds, starts with it.
std::vector<Thread> named(const QString& name, bool prefix = false);

} // namespace ProcessThreads
