#include "platform/system/AtomicFile.h"
#include "platform/system/DispatchQueue.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <pthread.h>
#include <vector>

namespace {

TEST(DispatchQueueTest, RunsItemsInOrderOnOneNamedThread)
{
    std::vector<int> order;
    char name[32] = {};
    {
        DispatchQueue queue("com.quorrel.festrin.writer");
        for (int i = 0; i < 100; ++i)
            queue.async([&order, i] { order.push_back(i); });
        queue.sync([&] { pthread_getname_np(pthread_self(), name, sizeof name); });
    }
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(order[static_cast<size_t>(i)], i);
    EXPECT_STREQ(name, "writer");
}

TEST(DispatchQueueTest, ThreadNamesKeepTheDistinctiveTailOfTheLabel)
{
    const std::pair<const char*, const char*> table[] = {
        {"com.quorrel.festrin.writer", "writer"},
        {"com.quorrel.festrin.mic", "mic"},
        {"com.quorrel.festrin.device.writer", "device.writer"},
        {"com.quorrel.festrin.mixdown.audio", "mixdown.audio"},
        {"com.quorrel.festrin.short.export.video", "export.video"},
        {"com.quorrel.festrin.speechfollow", "speechfollow"},
        {"framing-analyze", "framing-analyze"},
        {"voice-track.audio", "track.audio"},
        {"a.really.long.label.without.domain", "without.domain"},
    };
    for (const auto& [label, name] : table) {
        EXPECT_EQ(DispatchQueue::threadName(label), name) << label;
        EXPECT_LE(DispatchQueue::threadName(label).size(), 15u);
    }
}

class AtomicFileTest : public SandboxTest { };

TEST_F(AtomicFileTest, ReplacesTheTargetAndLeavesNoSibling)
{
    const QString target = path(QStringLiteral("take.json"));
    ASSERT_FALSE(AtomicFile::write(target, "old"));
    ASSERT_FALSE(AtomicFile::write(target, "new"));
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "new");
    EXPECT_EQ(QDir(folder->path()).entryList(QDir::Hidden | QDir::Files).filter(QStringLiteral(".write-")).size(), 0);
}

TEST_F(AtomicFileTest, AFailedWriteKeepsTheOldFile)
{
    const QString target = path(QStringLiteral("missing-folder/take.json"));
    const auto error = AtomicFile::write(target, "x");
    ASSERT_TRUE(error);
    EXPECT_FALSE(error->isEmpty());
    EXPECT_TRUE(AtomicFile::hiddenSibling(path(QStringLiteral("face.mov")), QStringLiteral("facemux"))
                    .contains(QRegularExpression(QStringLiteral("/\\.facemux-[0-9A-F-]{36}\\.mov$"))));
}

TEST_F(AtomicFileTest, EveryWritersSiblingIsKnownAsOneAndNothingElseIs)
{
    for (const QString& purpose : {QStringLiteral("remux"), QStringLiteral("write"), QStringLiteral("facemux"), QStringLiteral("mixdown")}) {
        const QString sibling = QFileInfo(AtomicFile::hiddenSibling(path(QStringLiteral("final.mov")), purpose)).fileName();
        EXPECT_TRUE(AtomicFile::isHiddenSibling(sibling)) << sibling.toStdString();
    }
    EXPECT_TRUE(AtomicFile::isHiddenSibling(QFileInfo(AtomicFile::hiddenSibling(path(QStringLiteral("notes")), QStringLiteral("write"))).fileName()));
    // A resume note, the user's own hidden files and a take's files are never swept.
    for (const char* name : {".final.pending", ".final-2.pending", ".hidden", ".remux-notauuid.mov", "remux-0A1B2C3D-0000-0000-0000-000000000000.mov", ".Remux-0A1B2C3D-1111-2222-3333-444455556666.mov"})
        EXPECT_FALSE(AtomicFile::isHiddenSibling(QString::fromLatin1(name))) << name;
}

} // namespace
