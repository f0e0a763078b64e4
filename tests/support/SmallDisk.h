#pragma once

#include <QString>

#include <optional>

// A disk that really fills: runs one disabled test of this test program in a user and mount namespace of its
// own, with a tmpfs of `size` (mount's words, "2m") at `folder`, whose path the test finds in
// SmallDisk::folderVariable. The tmpfs goes with the run, so the test checks what it left itself.
namespace SmallDisk {

inline constexpr char folderVariable[] = "OLVENNAR_FULL_DISK_FOLDER";

struct Run {
    QString output;
    int exitCode = 0;
    bool mounted = true; // false: this system allows no private mount
    // The test ran and passed.
    bool passed() const { return exitCode == 0 && output.contains(QStringLiteral("[  PASSED  ] 1 test")); }
};

Run runTest(const QString& testName, const QString& folder, const QString& size);
// Writes to `folder` until the disk takes no more; false when a write failed for another reason.
bool fill(const QString& folder);

} // namespace SmallDisk
