#include "finishing/PendingNote.h"
#include "finishing/TakeRecovery.h"
#include "platform/system/ProcessMemory.h"
#include "support/PeakMemory.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

namespace {

using Piece = std::function<QByteArray(qint64 index)>;
Piece same(const QByteArray& piece) { return [piece](qint64) { return piece; }; }

// `head`, `count` pieces apart by commas, and `tail`, written a megabyte at a time.
bool plant(const QString& at, const QByteArray& head, const Piece& piece, qint64 count, const QByteArray& tail)
{
    QFile file(at);
    bool written = file.open(QIODevice::WriteOnly);
    QByteArray chunk = head;
    for (qint64 i = 0; i < count && written; ++i) {
        chunk += (i ? "," : "") + piece(i);
        if (chunk.size() >= 1024 * 1024) {
            written = file.write(chunk) == chunk.size();
            chunk.clear();
        }
    }
    chunk += tail;
    return written && file.write(chunk) == chunk.size();
}

class NoteCost : public SandboxTest {};

} // namespace

// Prints what sweeping a take folder with each planted file costs the launch, above what it held before.
TEST_F(NoteCost, noFileInATakeFolderCostsTheLaunchFourHundredMegabytesWhateverItHolds)
{
    // A finish note of a kind the sweep hands back as it is: one it reads is written anew and read back.
    const QByteArray note = R"({"kind":"short","output":"final.mov",)";
    const QByteArray description = R"({"screen":"raw.mov","preview":"final.mov","camera_segments":[)";
    // Note heads hold seven values before their list, five before their first member.
    const qint64 values = PendingNote::largestNoteValues;
    const qint64 bytes = PendingNote::largestNoteBytes - 1024;
    const QByteArray trackText = '"' + QByteArray(120 * 1000, 'A') + '"';
    const QByteArray escapedText = R"("\n)" + QByteArray(120 * 1000, 'A') + '"';
    const QByteArray deepList = QByteArray(1000, '[') + '0' + QByteArray(1000, ']');
    const Piece member = [](qint64 i) { return "\"k" + QByteArray::number(i) + "\":0"; };
    const struct {
        const char* name;
        bool isDescription;
        QByteArray head;
        Piece piece;
        qint64 count;
        bool read; // else refused before it is parsed
    } cases[] = {
        {"lists of a number, at the value bound", false, note + R"("x":[)", same("[0]"), (values - 6) / 2, false},
        {"lists 1000 deep, at the value bound", false, note + R"("x":[)", same(deepList), (values - 6) / 1001, false},
        {"members, at the value bound", false, note, member, (values - 4) / 2, false},
        {"one text, at the byte bound", false, note + R"("x":[)", same('"' + QByteArray(bytes, 'a') + '"'), 1, false},
        {"one text with an escape, at the byte bound", false, note + R"("x":[)", same(R"("\n)" + QByteArray(bytes, 'a') + '"'), 1, false},
        {"texts of a track's length, at the byte bound", false, note + R"("x":[)", same(trackText), bytes / (trackText.size() + 1), false},
        {"texts with escapes, at the byte bound", false, note + R"("x":[)", same(escapedText), bytes / (escapedText.size() + 1), false},
        {"members, 1.8 million", false, note, member, 1800 * 1000, true},
        // Two short of the bound: the launch adds the relaunch count to a note it resumes.
        {"numbers, at the value bound", false, note + R"("x":[)", same("0"), values - 8, true},
        {"lists of a number, 1 million", false, note + R"("x":[)", same("[0]"), 1000 * 1000, true},
        {"texts of a track's length, 90 MiB", false, note + R"("x":[)", same(trackText), 90 * 1024 * 1024 / (trackText.size() + 1), true},
        {"texts with escapes, 24 MiB", false, note + R"("x":[)", same(escapedText), 24 * 1024 * 1024 / (escapedText.size() + 1), true},
        {"take.json: lists 1000 deep, 16 MiB", true, description, same(deepList), 16 * 1024 * 1024 / 2002, false},
        {"take.json: lists of a number, 16 MiB", true, description, same("[0]"), 16 * 1024 * 1024 / 4 - 100, false},
    };
    std::printf("%-46s %8s  %-7s %s\n", "planted", "MiB", "read", "launch's peak above its own, MB");
    for (const auto& each : cases) {
        SCOPED_TRACE(each.name);
        const QString take = path(QStringLiteral("Takes/video 1"));
        ASSERT_TRUE(QDir(path(QStringLiteral("Takes"))).removeRecursively() && QDir().mkpath(take));
        const QString planted = take + (each.isDescription ? QStringLiteral("/take.json") : QStringLiteral("/.final.pending"));
        ASSERT_TRUE(plant(planted, each.head, each.piece, each.count, each.head.endsWith('[') ? "]}" : "}"));
        if (!each.isDescription)
            ASSERT_TRUE(plant(take + QStringLiteral("/take.json"), R"({"screen":"raw.mov","preview":"final.mov"})", same({}), 0, {}));

        const qsizetype logged = readLog().size();
        PeakMemory::reset();
        const long before = ProcessMemory::residentKilobytes();
        const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
        const double megabytes = static_cast<double>(PeakMemory::kilobytes() - before) * 1024 / 1e6;
        const bool refused = readLog().mid(logged).contains(QStringLiteral(" could not be read"));

        std::printf("%-46s %8.1f  %-7s %.0f\n", each.name, static_cast<double>(QFileInfo(planted).size()) / (1024 * 1024), refused ? "refused" : "read", megabytes);
        EXPECT_LT(megabytes, 400);
        EXPECT_EQ(refused, !each.read);
        // Read, a note's job is handed back, and the description names a final that is not there.
        EXPECT_EQ(found.finishes.size(), !each.isDescription && each.read ? 1u : 0u);
        EXPECT_EQ(found.missingFinals.size(), each.isDescription && each.read ? 1 : 0);
    }
}
