#include "support/TestEnvironment.h"
#include "takedata/HandoffFile.h"
#include "takedata/NextTake.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace {

const QDateTime takeNow = QDateTime(QDate(2026, 1, 31), QTime(12, 0), Qt::UTC);
const QDateTime modified = takeNow.addSecs(-600);

class NextTakeTest : public SandboxTest {
protected:
    QString write(const QByteArray& bytes, const QDateTime& changed = modified)
    {
        const QString file = path(QStringLiteral(".next_take.json"));
        QFile out(file);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes);
        out.flush();
        out.setFileTime(changed, QFileDevice::FileModificationTime);
        return file;
    }
    std::optional<NextTake> load(const QByteArray& json, const QDateTime& at = takeNow, QString* why = nullptr)
    {
        const auto root = [](RecordingChannel, const QString& requested) { return requested.isEmpty() ? QStringLiteral("/own") : requested; };
        return NextTake::load(write(json), at, root, why);
    }
    static NextTake withID(const QString& id)
    {
        NextTake take;
        take.scriptID = id;
        return take;
    }
};

TEST_F(NextTakeTest, ANumberIdAloneGivesARecordDatedByTheFile)
{
    const auto take = load(R"({"script_id":42})");
    ASSERT_TRUE(take);
    EXPECT_EQ(take->scriptID, QStringLiteral("42"));
    EXPECT_TRUE(take->batch.isEmpty() && take->title.isEmpty() && take->board.isEmpty() && take->writtenAtText.isEmpty());
    EXPECT_EQ(take->channel, RecordingChannel::ai);
    EXPECT_FALSE(take->voiceTrack);
    EXPECT_EQ(take->writtenAt, modified);
    EXPECT_EQ(take->shortsRoot, QStringLiteral("/own"));

    const auto full = load(R"({"script_id":"  ep-7 \n","batch":1.5,"title":"Hook","board":true,"channel":" Branchline ",
        "shorts_root":"/brain/clips","written_at":"2026-01-31T09:15:00+01:00","extra":[1]})");
    ASSERT_TRUE(full);
    EXPECT_EQ(full->scriptID, QStringLiteral("ep-7"));
    EXPECT_EQ(full->batch, QStringLiteral("1.5"));
    EXPECT_EQ(full->board, QStringLiteral("1"));
    EXPECT_EQ(full->channel, RecordingChannel::branchline);
    EXPECT_EQ(full->shortsRoot, QStringLiteral("/brain/clips"));
    EXPECT_EQ(full->writtenAt, QDateTime(QDate(2026, 1, 31), QTime(8, 15), Qt::UTC));
}

TEST_F(NextTakeTest, RefusesWhatIsNotAUsableRecord)
{
    const char* refused[] = {R"({"script_id":"  \n"})", R"({"title":"no id"})", R"([{"script_id":"a"}])", "", "not json", R"({"script_id":null})"};
    for (const char* json : refused)
        EXPECT_FALSE(load(json)) << json;
    EXPECT_FALSE(NextTake::load(path(QStringLiteral("missing.json")), takeNow, {}));
}

TEST_F(NextTakeTest, WrittenAtIsAStrictInternetDateElseTheFileTime)
{
    const struct {
        const char* text;
        QDateTime expected; // invalid: the file's time
    } cases[] = {
        {"2026-01-31T09:15:00Z", QDateTime(QDate(2026, 1, 31), QTime(9, 15), Qt::UTC)},
        {"2026-01-31T09:15:00.250Z", QDateTime(QDate(2026, 1, 31), QTime(9, 15, 0, 250), Qt::UTC)},
        {"2026-01-31T09:15:00.250+01:00", QDateTime(QDate(2026, 1, 31), QTime(8, 15, 0, 250), Qt::UTC)},
        {"2026-01-31 09:15:00", {}}, // a space and no zone
        {"2026-01-31T09:15:00", {}}, // no zone: ISO 8601 would take local time
        {"2026-01-31t09:15:00z", {}},
        {"2026-02-30T09:15:00Z", {}},
        {"2026-01-31T23:59:60Z", {}},
        {"2026-01-31T09:15:00+24:00", {}},
        {"٢٠٢٦-01-31T09:15:00Z", {}}, // other scripts' digits
    };
    for (const auto& c : cases) {
        const auto take = load(QByteArray(R"({"script_id":"a","written_at":")") + c.text + "\"}");
        ASSERT_TRUE(take) << c.text;
        EXPECT_EQ(take->writtenAtText, QString::fromUtf8(c.text));
        EXPECT_EQ(take->writtenAt, c.expected.isValid() ? c.expected : modified) << c.text;
    }
}

TEST_F(NextTakeTest, StaleAtSixHoursToTheMillisecondAndAFutureDateLoads)
{
    const QByteArray json = R"({"script_id":"a","written_at":"2026-01-31T06:00:00Z"})";
    EXPECT_FALSE(load(json, takeNow));
    EXPECT_TRUE(load(json, takeNow.addMSecs(-100)));
    EXPECT_TRUE(load(R"({"script_id":"a","written_at":"2026-02-01T06:00:00Z"})", takeNow));
}

TEST_F(NextTakeTest, VoiceTrackOnlyFromABooleanOrOneOrZero)
{
    const struct {
        const char* value;
        bool voiceTrack;
    } cases[] = {{"true", true}, {"false", false}, {"1", true}, {"0", false}, {"2", false}, {"\"true\"", false}, {"null", false}};
    for (const auto& c : cases) {
        const auto take = load(QByteArray(R"({"script_id":"a","voice_track":)") + c.value + "}");
        ASSERT_TRUE(take);
        EXPECT_EQ(take->voiceTrack, c.voiceTrack) << c.value;
    }
}

TEST_F(NextTakeTest, AFileOverOneMebibyteIsRefusedWithAReason)
{
    QByteArray fits = R"({"script_id":"big"})";
    fits.append(QByteArray(NextTake::maximumFileBytes - fits.size(), ' '));
    EXPECT_TRUE(load(fits));
    QString why;
    EXPECT_FALSE(load(fits + " ", takeNow, &why));
    EXPECT_TRUE(why.endsWith(QStringLiteral(", larger than 1 MiB"))) << why.toStdString();
}

TEST_F(NextTakeTest, FolderComponentKeepsLettersAndDigitsAndIsBounded)
{
    const struct {
        QString id;
        QString component;
    } cases[] = {
        {QStringLiteral("ep 12: intro!"), QStringLiteral("ep-12--intro")},
        {QStringLiteral("/////"), QStringLiteral("script")},
        {QStringLiteral("Été_2"), QStringLiteral("Été_2")},
        {QStringLiteral("--a--"), QStringLiteral("a")},
        {QString(79, QLatin1Char('a')) + QStringLiteral(" b"), QString(79, QLatin1Char('a'))}, // the cut leaves no dash at the end
    };
    for (const auto& c : cases)
        EXPECT_EQ(withID(c.id).folderComponent(), c.component) << c.id.toStdString();

    EXPECT_EQ(withID(QString(300, QLatin1Char('x'))).folderComponent().size(), NextTake::folderComponentCharacters);
    const QString wide = withID(QString(100, QChar(0x8A9E))).folderComponent(); // three UTF-8 bytes each
    EXPECT_LE(wide.toUtf8().size(), NextTake::folderComponentBytes);
    EXPECT_EQ(wide.toUtf8().size(), 159);
    // The longest folder name a short can get still fits a file name.
    const QString name = QStringLiteral("2026-01-31-") + wide + QStringLiteral("-short-999999");
    EXPECT_LT(name.toUtf8().size(), 255);
    EXPECT_TRUE(QDir().mkpath(path(name)));
}

TEST_F(NextTakeTest, RecordsDifferingInAnyFieldAreNotEqual)
{
    NextTake a = withID(QStringLiteral("a"));
    NextTake b = a;
    EXPECT_EQ(a, b);
    b.board = QStringLiteral("other");
    EXPECT_NE(a, b);
    b = a;
    b.voiceTrack = true;
    EXPECT_NE(a, b);
}

TEST(HandoffFileTest, ReadsOnlyARegularFileAndNeverWaitsForAWriter)
{
    QTemporaryDir folder;
    const QString fifo = folder.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const auto read = HandoffFile::read(fifo, 1024);
    ASSERT_TRUE(std::holds_alternative<HandoffFile::Refusal>(read));
    EXPECT_EQ(std::get<HandoffFile::Refusal>(read), HandoffFile::Refusal::notRegularFile);
    EXPECT_EQ(std::get<HandoffFile::Refusal>(HandoffFile::read(QStringLiteral("/dev/zero"), 1024)), HandoffFile::Refusal::notRegularFile);
    EXPECT_EQ(std::get<HandoffFile::Refusal>(HandoffFile::read(folder.path(), 1024)), HandoffFile::Refusal::notRegularFile);
    EXPECT_EQ(std::get<HandoffFile::Refusal>(HandoffFile::read(folder.filePath(QStringLiteral("none")), 1024)), HandoffFile::Refusal::missing);
}

} // namespace
