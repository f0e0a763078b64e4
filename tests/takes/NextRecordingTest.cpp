#include "support/TestEnvironment.h"
#include "takedata/NextRecording.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

const QDateTime now = QDateTime(QDate(2026, 12, 5), QTime(12, 0), Qt::UTC);

class NextRecordingTest : public SandboxTest {
protected:
    QString write(const QByteArray& json, const QDateTime& modified = now)
    {
        const QString file = path(QStringLiteral(".next_recording.json"));
        QFile out(file);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(json);
        out.flush();
        out.setFileTime(modified, QFileDevice::FileModificationTime);
        return file;
    }

    std::optional<NextRecording> load(const QByteArray& json, const QDateTime& modified = now, QString* why = nullptr)
    {
        return NextRecording::load(write(json, modified), now, why);
    }
};

TEST_F(NextRecordingTest, ReadsEveryFieldWithItsKeyText)
{
    const auto record = load(R"({"schema":"dorvel-next-recording/v2","video_folder":"  /work/video 4 \n","title":42,
        "mode":"Screen","style":"CUES","teleprompter_file":"/s/script.md","board":true,"written_at":"2026-12-05T11:00:00Z",
        "channel":" Inkwell ","video_type":"screen_demo","variant":2.5})");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->videoFolder, QStringLiteral("/work/video 4"));
    EXPECT_EQ(record->title, QStringLiteral("42"));
    EXPECT_EQ(record->mode, QStringLiteral("Screen"));
    EXPECT_EQ(record->style, NextRecording::Style::cues);
    EXPECT_EQ(record->teleprompterFile, QStringLiteral("/s/script.md"));
    EXPECT_EQ(record->board, QStringLiteral("1"));
    EXPECT_EQ(record->writtenAtText, QStringLiteral("2026-12-05T11:00:00Z"));
    EXPECT_EQ(record->writtenAt, QDateTime(QDate(2026, 12, 5), QTime(11, 0), Qt::UTC));
    EXPECT_EQ(record->channel, RecordingChannel::inkwell);
    EXPECT_EQ(record->videoType, QStringLiteral("screen_demo"));
    EXPECT_EQ(record->variant, QStringLiteral("2.5"));
    EXPECT_EQ(record->token(), QStringLiteral("/work/video 4|2026-12-05T11:00:00Z"));
}

TEST_F(NextRecordingTest, KeyTextsOfOtherTypes)
{
    const auto record = load(R"({"video_folder":"/v","title":false,"mode":["screen"],"board":{"a":1},"variant":null,"video_type":-7})");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->title, QStringLiteral("0"));
    EXPECT_EQ(record->mode, QString());
    EXPECT_EQ(record->board, QString());
    EXPECT_EQ(record->variant, QString());
    EXPECT_EQ(record->videoType, QStringLiteral("-7"));
    EXPECT_EQ(record->style, NextRecording::Style::script);
    EXPECT_EQ(record->channel, RecordingChannel::ai);
}

TEST(NextRecordingMode, EveryCaptureModeAlias)
{
    const struct {
        const char* mode;
        std::optional<CaptureMode> captureMode;
    } cases[] = {
        {"just_me", CaptureMode::cameraOnly}, {"Just Me", CaptureMode::cameraOnly}, {"CAMERA_ONLY", CaptureMode::cameraOnly},
        {"screen", CaptureMode::screen}, {"Screen", CaptureMode::screen},
        {"voice", CaptureMode::voice}, {"voice_only", CaptureMode::voice}, {"VoiceOver", CaptureMode::voice},
        {"short", std::nullopt}, {"just-me", std::nullopt}, {" screen", std::nullopt}, {"", std::nullopt},
    };
    for (const auto& c : cases) {
        NextRecording record;
        record.mode = QString::fromLatin1(c.mode);
        EXPECT_EQ(record.captureMode(), c.captureMode) << c.mode;
    }
}

TEST_F(NextRecordingTest, RejectsWhatIsNotACurrentHandoff)
{
    const struct {
        const char* json;
        bool accepted;
    } cases[] = {
        {R"({"video_folder":"/v","written_at":"2026-12-05T11:00:00Z"})", true},
        {R"({"schema":"dorvel-next-recording/","video_folder":"/v"})", true},
        {R"({"schema":"Dorvel-Next-Recording/v1","video_folder":"/v"})", false},
        {R"({"schema":"dorvel-next-recording","video_folder":"/v"})", false},
        {R"({"video_folder":"   "})", false},
        {R"({"video_folder":5})", false}, // "5" is relative
        {R"({"video_folder":"relative/folder"})", false},
        {R"(["video_folder","/v"])", false},
        {R"({"video_folder":"/v")", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(load(c.json).has_value(), c.accepted) << c.json;
    EXPECT_FALSE(NextRecording::load(path(QStringLiteral("missing.json")), now));
}

TEST_F(NextRecordingTest, TildeFolderExpandsAndARelativeOneIsLogged)
{
    const auto record = load(R"({"video_folder":"~/Brain/video 3/"})");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->videoFolder, QDir::homePath() + QStringLiteral("/Brain/video 3"));

    QString why;
    EXPECT_FALSE(load(R"({"video_folder":"~someone/x"})", now, &why));
    EXPECT_TRUE(why.contains(QStringLiteral("not an absolute path"))) << why.toStdString();
}

TEST_F(NextRecordingTest, AFileOverOneMebibyteIsIgnored)
{
    QByteArray big = R"({"video_folder":"/v","pad":")";
    big += QByteArray(NextRecording::maximumFileBytes, 'x');
    big += "\"}";
    QString why;
    EXPECT_FALSE(load(big, now, &why));
    EXPECT_TRUE(why.contains(QStringLiteral("1 MiB")));

    QByteArray fits = R"({"video_folder":"/v","pad":")";
    fits += QByteArray(NextRecording::maximumFileBytes - fits.size() - 2, 'x');
    fits += "\"}";
    ASSERT_EQ(fits.size(), NextRecording::maximumFileBytes);
    EXPECT_TRUE(load(fits));
}

TEST_F(NextRecordingTest, WrittenAtDatesAndStaleness)
{
    const struct {
        const char* writtenAt;
        std::optional<QDateTime> expected; // none: rejected
    } cases[] = {
        {"2026-12-05T06:00:00Z", std::nullopt}, // exactly 21600 s
        {"2026-12-05T06:00:01Z", QDateTime(QDate(2026, 12, 5), QTime(6, 0, 1), Qt::UTC)},
        {"2026-12-05T12:30:00.123456+01:00", QDateTime(QDate(2026, 12, 5), QTime(11, 30, 0, 123), Qt::UTC)},
        {"2026-12-06T12:00:00Z", QDateTime(QDate(2026, 12, 6), QTime(12, 0), Qt::UTC)}, // the future passes
        {"2026-12-05T01:00:00Z", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto record = load(QByteArray(R"({"video_folder":"/v","written_at":")") + c.writtenAt + "\"}");
        ASSERT_EQ(record.has_value(), c.expected.has_value()) << c.writtenAt;
        if (record) {
            EXPECT_EQ(record->writtenAt, *c.expected) << c.writtenAt;
        }
    }
}

TEST_F(NextRecordingTest, AnUnreadableDateFallsBackToTheFileDateAndKeepsItsText)
{
    const auto record = load(R"({"video_folder":"/v","written_at":"2026-12-05T11:00:00"})", now.addSecs(-60)); // no zone
    ASSERT_TRUE(record);
    EXPECT_EQ(record->writtenAt, now.addSecs(-60));
    EXPECT_EQ(record->token(), QStringLiteral("/v|2026-12-05T11:00:00"));
    EXPECT_FALSE(load(R"({"video_folder":"/v","written_at":"bad"})", now.addSecs(-21600)));
}

} // namespace
