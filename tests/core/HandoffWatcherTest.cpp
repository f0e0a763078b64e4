#include "app/DesktopWindows.h"
#include "app/StudioTakeKinds.h"
#include "ControllerTestFixture.h"

#include "platform/system/Paths.h"
#include "takes/HandoffPrompter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <functional>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

// The teleprompter's model and panel as the handoff sees them.
class FakePrompter final : public HandoffPrompter {
public:
    QString script;
    TeleprompterScript::Style style = TeleprompterScript::Style::cues;
    bool follow = false;
    bool open = false;
    int restarts = 0;
    int syncs = 0;

    QString text() const override { return script; }
    void setText(const QString& text) override { script = text; }
    void setStyle(TeleprompterScript::Style value) override { style = value; }
    void restart() override { ++restarts; }
    void setFollowMode() override { follow = true; }
    bool isPanelOpen() const override { return open; }
    bool show(const QRect&) override { return open = true; }
    void hide() override { open = false; }
    void syncSpeech() override { ++syncs; }
};

QString isoSecondsAgo(int seconds)
{
    return QDateTime::currentDateTimeUtc().addSecs(-seconds).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
}

class HandoffWatcherTest : public ControllerTest {
protected:
    RecordingController& watcher()
    {
        if (!controller_) {
            Platform platform{*settings, access, &speech, &hooks};
            platform.kinds = &StudioTakeKinds::standard();
            platform.windows = &DesktopWindows::shared();
            platform.prompter = &prompter;
            controller_ = std::make_unique<RecordingController>(platform);
            // The first scheduled poll runs before the test writes anything.
            poll();
        }
        return *controller_;
    }
    QString recordings() const { return path(QStringLiteral("Recordings")); }
    void writeFile(const QString& file, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(file).path());
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes);
    }
    void writeTake(const QByteArray& json) { writeFile(recordings() + QStringLiteral("/Shorts/.next_take.json"), json); }
    void writeRecording(const QByteArray& json) { writeFile(recordings() + QStringLiteral("/.next_recording.json"), json); }
    QByteArray recordingJson(const QString& videoFolder, const QString& writtenAt, const QString& extra = QString())
    {
        return QStringLiteral(R"({"video_folder":"%1","written_at":"%2","title":"Demo"%3})").arg(videoFolder, writtenAt, extra).toUtf8();
    }
    // One whole poll: read off the main thread, decided and applied.
    void poll()
    {
        RecordingController& c = *controller_;
        // A poll already under way read the files before the test wrote them.
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !c.handoffs().isPollingHandoffs(); }, 5000));
        const int before = c.handoffs().handoffPollsCompleted();
        c.handoffs().refreshNextTake();
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return c.handoffs().handoffPollsCompleted() > before; }, 5000));
    }
    int logCount(const QString& text) const { return readLog().count(text); }

    FakePrompter prompter;
};

TEST_F(HandoffWatcherTest, AShortHandoffSwitchesToShortOnceAndIsRemembered)
{
    RecordingController& c = watcher();
    const QString written = isoSecondsAgo(60);
    writeTake(QStringLiteral(R"({"script_id":"ep 7","written_at":"%1"})").arg(written).toUtf8());
    poll();
    EXPECT_EQ(c.captureMode(), CaptureMode::short_);
    EXPECT_EQ(logCount(QStringLiteral("short: auto-switched Screen → Short for handoff ep 7 (") + written + QLatin1Char(')')), 1);
    EXPECT_EQ(settings->stringValue(QStringLiteral("shortAutoSwitchedHandoff")), QStringLiteral("ep 7|") + written);
    ASSERT_TRUE(c.handoffs().nextTake());
    EXPECT_EQ(c.handoffs().channelNextTake(), c.handoffs().nextTake());
    EXPECT_EQ(c.handoffs().shortHeaderScript(), c.handoffs().nextTake());
    // The short videoFolder is named after the script.
    EXPECT_TRUE(c.shortDestinationName().contains(QStringLiteral("-ep-7-short-1"))) << c.shortDestinationName().toStdString();
    // Switching back by hand is not undone by later polls.
    c.setCaptureMode(CaptureMode::screen);
    poll();
    poll();
    EXPECT_EQ(c.captureMode(), CaptureMode::screen);
    EXPECT_EQ(logCount(QStringLiteral("short: auto-switched")), 1);
    // Another channel's handoff is not this channel's pending short.
    c.setChannel(RecordingChannel::inkwell);
    EXPECT_FALSE(c.handoffs().channelNextTake());
    EXPECT_FALSE(c.shortDestinationName().contains(QStringLiteral("ep-7")));
}

TEST_F(HandoffWatcherTest, AHandoffIntoShortAsksForTheCameraAsThePickerDoes)
{
    // No camera on the machine: the switch says so, as missing hardware, and puts nothing up.
    access.cameraState = Permissions::State::notAsked;
    RecordingController& c = watcher();
    writeTake(QStringLiteral(R"({"script_id":"ep 8","written_at":"%1"})").arg(isoSecondsAgo(60)).toUtf8());
    poll();
    ASSERT_EQ(c.captureMode(), CaptureMode::short_);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return c.phase().kind() == RecordingPhase::Kind::failed; }, 2000));
    EXPECT_EQ(c.phase(), RecordingPhase::failed(QStringLiteral("No camera found.")));

    EXPECT_TRUE(access.instructionsShown.isEmpty());

    // A camera the user may not open: the group advice in the footer and the access instruction.
    c.reset();
    c.setCaptureMode(CaptureMode::screen);
    CaptureDeviceInfo camera;
    camera.uniqueID = camera.localizedName = QStringLiteral("Desk");
    c.setCameras({camera});
    access.cameraState = Permissions::State::denied;
    writeTake(QStringLiteral(R"({"script_id":"ep 9","written_at":"%1"})").arg(isoSecondsAgo(30)).toUtf8());
    poll();
    ASSERT_EQ(c.captureMode(), CaptureMode::short_);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return c.phase().kind() == RecordingPhase::Kind::failed; }, 2000));
    EXPECT_TRUE(c.phase().payload().contains(QStringLiteral("\"video\" group"))) << c.phase().payload().toStdString();
    EXPECT_EQ(access.instructionsShown, QStringList{QString::fromLatin1(Permissions::cameraPane)});
}

TEST_F(HandoffWatcherTest, InShortModeTheTokenIsStoredWithoutASwitch)
{
    RecordingController& c = watcher();
    c.setCaptureMode(CaptureMode::short_);
    writeTake(QStringLiteral(R"({"script_id":"a","written_at":"%1"})").arg(isoSecondsAgo(5)).toUtf8());
    poll();
    EXPECT_TRUE(settings->stringValue(QStringLiteral("shortAutoSwitchedHandoff")));
    EXPECT_EQ(logCount(QStringLiteral("auto-switched")), 0);
}

TEST_F(HandoffWatcherTest, ABusyStudioDefersBothHandoffs)
{
    RecordingController& c = watcher();
    writeTake(QStringLiteral(R"({"script_id":"a","written_at":"%1"})").arg(isoSecondsAgo(5)).toUtf8());
    for (const auto& busy : {RecordingPhase::recording(), RecordingPhase::finishing(), RecordingPhase::countingDown()}) {
        c.setPhase(busy);
        poll();
        EXPECT_EQ(c.captureMode(), CaptureMode::screen);
        EXPECT_FALSE(settings->stringValue(QStringLiteral("shortAutoSwitchedHandoff")));
    }
    c.setPhase(RecordingPhase::failed(QStringLiteral("x")));
    poll();
    EXPECT_EQ(c.captureMode(), CaptureMode::short_);
}

TEST_F(HandoffWatcherTest, ATieGoesToTheShortAndALaterLongFormWins)
{
    RecordingController& c = watcher();
    const QString videoFolder = recordings() + QStringLiteral("/video 1");
    const QString at = isoSecondsAgo(30);
    writeTake(QStringLiteral(R"({"script_id":"a","written_at":"%1"})").arg(at).toUtf8());
    writeRecording(recordingJson(videoFolder, at));
    poll();
    EXPECT_EQ(c.captureMode(), CaptureMode::short_);
    EXPECT_EQ(c.handoffs().handledNextRecording(), videoFolder + QLatin1Char('|') + at);
    EXPECT_FALSE(QFileInfo::exists(videoFolder));

    const QString later = isoSecondsAgo(10);
    writeTake(QStringLiteral(R"({"script_id":"b","written_at":"%1"})").arg(at).toUtf8());
    writeRecording(recordingJson(videoFolder, later, QStringLiteral(R"(,"mode":"screen")")));
    poll();
    EXPECT_EQ(c.captureMode(), CaptureMode::screen);
    EXPECT_EQ(c.handoffs().handledNextTake(), QStringLiteral("b|") + at);
    EXPECT_EQ(c.destinationFolder(), videoFolder);
    EXPECT_TRUE(QFileInfo(videoFolder).isDir());
}

TEST_F(HandoffWatcherTest, ModeAliasesSwitchAndOtherWordsLeaveTheMode)
{
    RecordingController& c = watcher();
    const struct {
        const char* mode;
        CaptureMode expected;
    } cases[] = {{"voiceover", CaptureMode::voice}, {"short", CaptureMode::voice}, {"Just Me", CaptureMode::cameraOnly},
        {"dance", CaptureMode::cameraOnly}, {"SCREEN", CaptureMode::screen}, {"voice_only", CaptureMode::voice}};
    int n = 0;
    for (const auto& c2 : cases) {
        writeRecording(recordingJson(recordings() + QStringLiteral("/video 4"), isoSecondsAgo(100 - ++n), QStringLiteral(R"(,"mode":"%1")").arg(QString::fromLatin1(c2.mode))));
        poll();
        EXPECT_EQ(c.captureMode(), c2.expected) << c2.mode;
    }
    EXPECT_EQ(logCount(QStringLiteral("longform: auto-switched Screen → Voice only")), 2);
}

TEST_F(HandoffWatcherTest, AnEquivalentPathSelectsTheListedFolder)
{
    RecordingController& c = watcher();
    const QString listed = recordings() + QStringLiteral("/video 3");
    QDir().mkpath(listed);
    ASSERT_TRUE(QFile::link(recordings(), path(QStringLiteral("alias"))));
    writeRecording(recordingJson(path(QStringLiteral("alias")) + QStringLiteral("/./video 3/"), isoSecondsAgo(5)));
    poll();
    EXPECT_EQ(c.destinationFolder(), listed);
    EXPECT_EQ(logCount(QStringLiteral("longform: handoff \"Demo\" → video 3, mode , style script, channel ai (")), 1);
}

TEST_F(HandoffWatcherTest, ScriptsAreReadFromTheVideoFolderOrHomeAndAMissingOneChangesNothing)
{
    RecordingController& c = watcher();
    const QString videoFolder = recordings() + QStringLiteral("/video 2");
    writeFile(videoFolder + QStringLiteral("/script.md"), "Hello from the videoFolder.");
    writeFile(Paths::homeFolder() + QStringLiteral("/notes/s.md"), "Hello from home.");
    writeRecording(recordingJson(videoFolder, isoSecondsAgo(50), QStringLiteral(R"(,"teleprompter_file":"script.md","style":"mixed","mode":"screen")")));
    poll();
    EXPECT_EQ(prompter.script, QStringLiteral("Hello from the videoFolder."));
    EXPECT_EQ(prompter.style, TeleprompterScript::Style::mixed);
    EXPECT_EQ(prompter.restarts, 1);
    // A screen video without a video type follows the voice; the panel shows where a screen is.
    EXPECT_TRUE(prompter.follow);
    EXPECT_EQ(c.teleprompterVisible(), prompter.open);
    EXPECT_EQ(prompter.syncs, 1);
    EXPECT_EQ(c.handoffs().longformLoadedText(), QStringLiteral("Hello from the videoFolder."));

    writeRecording(recordingJson(videoFolder, isoSecondsAgo(40), QStringLiteral(R"(,"teleprompter_file":"~/notes/s.md","video_type":"talk")")));
    poll();
    EXPECT_EQ(prompter.script, QStringLiteral("Hello from home."));
    EXPECT_EQ(prompter.syncs, 1); // a talk does not follow the voice

    writeRecording(recordingJson(videoFolder, isoSecondsAgo(30), QStringLiteral(R"(,"teleprompter_file":"gone.md")")));
    poll();
    EXPECT_EQ(logCount(QStringLiteral("longform: teleprompter file not readable: ") + videoFolder + QStringLiteral("/gone.md")), 1);
    EXPECT_EQ(prompter.script, QStringLiteral("Hello from home."));
    EXPECT_EQ(prompter.style, TeleprompterScript::Style::script);
}

TEST_F(HandoffWatcherTest, NoScriptClearsOnlyLoadedTextAndClosesThePanel)
{
    RecordingController& c = watcher();
    const QString videoFolder = recordings() + QStringLiteral("/video 5");
    writeFile(videoFolder + QStringLiteral("/s.md"), "Loaded.");
    writeRecording(recordingJson(videoFolder, isoSecondsAgo(50), QStringLiteral(R"(,"teleprompter_file":"s.md","style":"cues")")));
    poll();
    prompter.open = true;
    writeRecording(recordingJson(videoFolder, isoSecondsAgo(40), QStringLiteral(R"(,"video_type":"natural","variant":"free")")));
    poll();
    EXPECT_EQ(prompter.script, QString());
    EXPECT_EQ(prompter.style, TeleprompterScript::Style::script);
    EXPECT_FALSE(prompter.open);
    EXPECT_EQ(logCount(QStringLiteral("longform: teleprompter closed, free/natural card (natural/free)")), 1);
    EXPECT_FALSE(c.handoffs().longformLoadedText());

    // Text the user typed is never cleared.
    writeRecording(recordingJson(videoFolder, isoSecondsAgo(30), QStringLiteral(R"(,"teleprompter_file":"s.md")")));
    poll();
    prompter.script = QStringLiteral("My own words.");
    writeRecording(recordingJson(videoFolder, isoSecondsAgo(20)));
    poll();
    EXPECT_EQ(prompter.script, QStringLiteral("My own words."));
}

TEST_F(HandoffWatcherTest, NotThisOneDeclinesUntilTheFileIsRewritten)
{
    RecordingController& c = watcher();
    c.setCaptureMode(CaptureMode::short_);
    const QString at = isoSecondsAgo(20);
    writeTake(QStringLiteral(R"({"script_id":"a","written_at":"%1"})").arg(at).toUtf8());
    poll();
    ASSERT_TRUE(c.handoffs().nextTake());
    c.handoffs().ignoreNextTake();
    EXPECT_FALSE(c.handoffs().nextTake());
    EXPECT_EQ(settings->stringValue(QStringLiteral("shortIgnoredNextTake")), QStringLiteral("a|") + at);
    EXPECT_EQ(logCount(QStringLiteral("short: ignoring handoff a (") + at + QLatin1Char(')')), 1)
        << "the log names the script and when it was written, not the stored token";
    EXPECT_EQ(logCount(QStringLiteral("ignoring handoff a|")), 0);
    EXPECT_FALSE(c.handoffs().loadNextTake());
    EXPECT_FALSE(relaunch()->handoffs().loadNextTake());
    writeTake(QStringLiteral(R"({"script_id":"a","written_at":"%1"})").arg(isoSecondsAgo(10)).toUtf8());
    EXPECT_TRUE(c.handoffs().loadNextTake());
    c.handoffs().ignoreNextTake();
    c.handoffs().ignoreNextTake(); // nothing pending: nothing happens
    EXPECT_EQ(logCount(QStringLiteral("short: ignoring handoff")), 2);
}

// Handoff files written to lead the studio astray: each is ignored with one log line however often it is
// polled, nothing is created outside the studio's folders, and nothing hangs.
TEST_F(HandoffWatcherTest, HostileHandoffFilesAreIgnoredWithOneLineEach)
{
    RecordingController& c = watcher();
    const QString outside = path(QStringLiteral("outside"));
    QDir().mkpath(recordings());
    ASSERT_TRUE(QFile::link(QStringLiteral("/etc"), recordings() + QStringLiteral("/etc-link")));
    ASSERT_TRUE(QFile::link(outside, recordings() + QStringLiteral("/out-link")));
    const QString fresh = isoSecondsAgo(5);
    const auto record = [&](const QString& videoFolder) {
        QJsonObject object{{QStringLiteral("video_folder"), videoFolder}, {QStringLiteral("written_at"), fresh}};
        return QJsonDocument(object).toJson();
    };
    const struct {
        const char* name;
        QByteArray recording; // empty: the file is made by `special`
        QString complaint;
        std::function<void(const QString&)> special;
    } cases[] = {
        {"etc", record(QStringLiteral("/etc")), QStringLiteral("outside the studio's folders"), {}},
        {"root", record(QStringLiteral("/")), QStringLiteral("outside the studio's folders"), {}},
        {"the recordings root itself", record(recordings()), QStringLiteral("outside the studio's folders"), {}},
        {"dot-dot", record(recordings() + QStringLiteral("/../../../../etc")), QStringLiteral("outside the studio's folders"), {}},
        {"home dot-dot", record(QStringLiteral("~/../../../etc/cron.d")), QStringLiteral("outside the studio's folders"), {}},
        {"symlink to etc", record(recordings() + QStringLiteral("/etc-link/cron.d")), QStringLiteral("outside the studio's folders"), {}},
        {"symlink out", record(recordings() + QStringLiteral("/out-link/video 1")), QStringLiteral("outside the studio's folders"), {}},
        {"NUL", record(recordings() + QStringLiteral("/video") + QChar(0) + QStringLiteral("1")), QStringLiteral("control characters"), {}},
        {"newline", record(recordings() + QStringLiteral("/video\n1")), QStringLiteral("control characters"), {}},
        {"relative", record(QStringLiteral("video 1")), QStringLiteral("not an absolute path"), {}},
        {"FIFO", {}, QStringLiteral("not a regular file"),
            [](const QString& file) { ASSERT_EQ(::mkfifo(QFile::encodeName(file).constData(), 0600), 0); }},
        {"50 MB", {}, QStringLiteral("larger than 1 MiB"),
            [](const QString& file) {
                QFile big(file);
                ASSERT_TRUE(big.open(QIODevice::WriteOnly));
                big.write(R"({"video_folder":"/etc")");
                big.resize(50 * 1024 * 1024);
            }},
        {"deep nesting", QByteArray(100000, '[') + QByteArray(100000, ']'), QStringLiteral("not a JSON object"), {}},
        {"deep objects", QByteArray("{\"a\":").repeated(5000) + "1" + QByteArray(5000, '}'), QStringLiteral("not a JSON object"), {}},
        {"non-UTF-8", QByteArray("{\"video_folder\":\"") + recordings().toUtf8() + "/v\xff\xfe\",\"written_at\":\"" + fresh.toUtf8() + "\"}",
            QStringLiteral("not a JSON object"), {}},
    };
    const QString file = recordings() + QStringLiteral("/.next_recording.json");
    for (const auto& hostile : cases) {
        SCOPED_TRACE(hostile.name);
        QFile::remove(file);
        if (hostile.special)
            hostile.special(file);
        else
            writeFile(file, hostile.recording);
        const int before = logCount(QStringLiteral("handoff: ignoring"));
        for (int i = 0; i < 3; ++i)
            poll();
        EXPECT_FALSE(c.handoffs().loadNextRecording());
        const QString log = readLog();
        EXPECT_EQ(logCount(QStringLiteral("handoff: ignoring")), before + 1);
        EXPECT_TRUE(log.contains(hostile.complaint)) << hostile.complaint.toStdString();
        EXPECT_FALSE(c.handoffs().nextRecording());
        EXPECT_FALSE(c.destinationFolder());
        // A line never breaks the log's one-line-per-message form.
        EXPECT_FALSE(log.contains(QStringLiteral("video\n1")));
        // A different file next; the complaint memory is per file kind.
        QFile::remove(file);
        poll();
    }
    EXPECT_FALSE(QFileInfo::exists(outside));
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/etc/cron.d/video 1")));
}

TEST_F(HandoffWatcherTest, HostileShortHandoffsAndScriptsAreRefused)
{
    RecordingController& c = watcher();
    c.setChannel(RecordingChannel::branchline);
    const QString own = path(QStringLiteral("Brain/PROJECTS/BRANCHLINE/shorts"));
    const QString fresh = isoSecondsAgo(5);
    for (const char* root : {"/etc", "~/../../etc", "Brain/PROJECTS/BRANCHLINE/../../../../etc"}) {
        writeTake(QStringLiteral(R"({"script_id":"s","channel":"branchline","shorts_root":"%1","written_at":"%2"})").arg(QString::fromLatin1(root), fresh).toUtf8());
        const auto take = c.handoffs().loadNextTake();
        ASSERT_TRUE(take) << root;
        EXPECT_EQ(take->shortsRoot, own) << root;
    }
    const QString takeFile = recordings() + QStringLiteral("/Shorts/.next_take.json");
    QFile::remove(takeFile);
    ASSERT_EQ(::mkfifo(QFile::encodeName(takeFile).constData(), 0600), 0);
    poll();
    EXPECT_FALSE(c.handoffs().loadNextTake());
    EXPECT_EQ(logCount(QStringLiteral("/Shorts/.next_take.json, not a regular file")), 1);

    // A script outside the home and studio folders, or not UTF-8, or a FIFO, is not read.
    const QString videoFolder = recordings() + QStringLiteral("/video 1");
    QDir().mkpath(videoFolder);
    ASSERT_EQ(::mkfifo(QFile::encodeName(videoFolder + QStringLiteral("/fifo.md")).constData(), 0600), 0);
    writeFile(videoFolder + QStringLiteral("/latin1.md"), "caf\xe9");
    writeFile(videoFolder + QStringLiteral("/huge.md"), QByteArray(HandoffReader::maximumScriptBytes + 1, 'a'));
    QTemporaryDir elsewhere(QStringLiteral("/var/tmp/olv-script-XXXXXX"));
    writeFile(elsewhere.filePath(QStringLiteral("s.md")), "secret");
    int age = 60;
    for (const QString& script : {QStringLiteral("/etc/shadow"), QStringLiteral("fifo.md"), QStringLiteral("latin1.md"), QStringLiteral("huge.md"), elsewhere.filePath(QStringLiteral("s.md"))}) {
        writeRecording(recordingJson(videoFolder, isoSecondsAgo(--age), QStringLiteral(R"(,"teleprompter_file":"%1","mode":"screen")").arg(script)));
        poll();
        EXPECT_EQ(logCount(QStringLiteral("longform: teleprompter file not readable: ")), 60 - age) << script.toStdString();
        EXPECT_EQ(prompter.script, QString()) << script.toStdString();
    }
}

} // namespace
