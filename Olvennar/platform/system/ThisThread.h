#pragma once

#include <string>

// The calling thread's name and scheduling share. Names show in top -H, gdb and /proc/<pid>/task/*/comm;
// Linux keeps 15 bytes. The share is the thread's own nice value: threads the thread starts later (an
// encoder's or decoder's workers) inherit it.
namespace ThisThread {

// The nice value of background threads: the lowest share a user may set. An unprivileged thread may raise
// its nice value but never lower it again, so only threads that stay background get it.
constexpr int backgroundNice = 19;

void setName(const std::string& name);
// Sets this thread's nice value to backgroundNice.
void lowerPriority();
// This thread's nice value.
int niceValue();

} // namespace ThisThread
