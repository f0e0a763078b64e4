#include "WindowTest.h"

#include "ui/ElidedLabel.h"
#include "ui/SegmentedControl.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QToolButton>

namespace {

class ModeSectionTest : public WindowTest {
protected:
    QComboBox* saveTo() const { return find(QStringLiteral("saveToPicker"))->findChild<QComboBox*>(); }
    QStringList entries() const
    {
        QStringList texts;
        for (int i = 0; i < saveTo()->count(); ++i)
            texts << saveTo()->itemText(i);
        return texts;
    }
    QString project(int number) const
    {
        const QString takeFolder = QDir(path(QStringLiteral("Recordings"))).filePath(QStringLiteral("video %1").arg(number));
        QDir().mkpath(takeFolder);
        return takeFolder;
    }
    static void touch(const QString& file)
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    }
};

TEST_F(ModeSectionTest, modePickerChoosesWhatShowsBelowIt)
{
    auto* modes = find<SegmentedControl>(QStringLiteral("captureModePicker"));
    ASSERT_NE(modes, nullptr);
    EXPECT_EQ(modes->segments(), QStringList({"Screen", "Just me", "Voice only", "Short"}));
    EXPECT_EQ(modes->currentIndex(), 0);
    struct Row {
        int segment;
        CaptureMode mode;
        bool destination, shortNote, cameraOnlyNote;
    };
    for (const Row& row : std::vector<Row>{{1, CaptureMode::cameraOnly, true, false, true}, {2, CaptureMode::voice, true, false, false},
             {3, CaptureMode::short_, false, true, false}, {0, CaptureMode::screen, true, false, false}}) {
        modes->segment(row.segment)->click();
        settle();
        EXPECT_EQ(controller->captureMode(), row.mode);
        EXPECT_EQ(shows(QStringLiteral("destinationPicker")), row.destination) << row.segment;
        EXPECT_EQ(shows(QStringLiteral("shortNote")), row.shortNote) << row.segment;
        EXPECT_EQ(shows(QStringLiteral("cameraOnlyNote")), row.cameraOnlyNote) << row.segment;
        EXPECT_EQ(shows(QStringLiteral("screenSection")), row.mode == CaptureMode::screen);
    }
}

TEST_F(ModeSectionTest, destinationPickerListsProjectsAndMarksHooks)
{
    EXPECT_EQ(entries(), QStringList({"New folder"}));
    EXPECT_EQ(text(QStringLiteral("destinationHint")), QStringLiteral("Each take starts its own numbered folder."));

    const QString seven = project(7);
    const QString twelve = project(12);
    touch(QDir(twelve).filePath(QStringLiteral("hook.json")));
    // A hook deeper down does not count.
    QDir().mkpath(QDir(seven).filePath(QStringLiteral("Raw")));
    touch(QDir(seven).filePath(QStringLiteral("Raw/hook.json")));
    find<QAbstractButton>(QStringLiteral("refreshFoldersButton"))->click();
    settle();
    EXPECT_EQ(entries(), QStringList({"New folder", "video 12 — has a hook", "video 7"}));
    EXPECT_EQ(saveTo()->currentIndex(), 0);

    // Choosing a folder sets the destination; the hint talks about take numbers.
    saveTo()->setCurrentIndex(2);
    Q_EMIT saveTo()->activated(2);
    settle();
    EXPECT_EQ(controller->destinationFolder(), std::optional<QString>(seven));
    EXPECT_EQ(text(QStringLiteral("destinationHint")), QStringLiteral("Extra takes go in the same folder as take 1, numbered -2, -3, and so on."));

    // A destination deleted from the disk falls back to "New folder".
    QDir(seven).removeRecursively();
    find<QAbstractButton>(QStringLiteral("refreshFoldersButton"))->click();
    settle();
    EXPECT_FALSE(controller->destinationFolder().has_value());
    EXPECT_EQ(entries(), QStringList({"New folder", "video 12 — has a hook"}));
    EXPECT_EQ(saveTo()->currentIndex(), 0);
}

TEST_F(ModeSectionTest, changingTheRecordingsFolderResetsTheDestination)
{
    const QString seven = project(7);
    controller->setDestinationFolder(seven);
    settle();
    auto* shown = find<ElidedLabel>(QStringLiteral("saveLocationPath"));

    // A folder under the home: shown with "~" at once, and the next take opens a new folder there.
    chosenFolder = TestEnvironment::home() + QStringLiteral("/Videos/Takes");
    click(QStringLiteral("changeSaveFolderButton"));
    EXPECT_EQ(shown->text(), QStringLiteral("~/Videos/Takes"));
    EXPECT_FALSE(controller->destinationFolder().has_value());

    // A root on a drive that is not there is never created.
    const QString unmounted = path(QStringLiteral("media/drive/Takes"));
    chosenFolder = unmounted;
    click(QStringLiteral("changeSaveFolderButton"));
    click(QStringLiteral("showSaveFolderButton"));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("media/drive"))));
}

TEST_F(ModeSectionTest, sectionsLockWhileATakeRunsOrIsFinished)
{
    controller->setCameraEnabled(true);
    controller->phone().setPhoneEnabled(true);
    controller->phone().setPhones({device("phone", "iPhone")});
    struct Row {
        RecordingPhase phase;
        bool settingsUsable;  // mode section, screen section, check framing
        bool devicesUsable;   // camera and phone pickers
    };
    const std::vector<Row> rows{
        {RecordingPhase::idle(), true, true},
        {RecordingPhase::countingDown(), false, true},
        {RecordingPhase::preparing(), false, true},
        {RecordingPhase::recording(), false, false},
        {RecordingPhase::paused(), false, false},
        {RecordingPhase::finishing(), false, true},
        {RecordingPhase::finished(path("final.mov")), true, true},
        {RecordingPhase::failed(QStringLiteral("x")), true, true},
    };
    for (const Row& row : rows) {
        setPhase(row.phase);
        const int kind = static_cast<int>(row.phase.kind());
        for (const char* name : {"captureModePicker", "changeSaveFolderButton", "showSaveFolderButton", "saveToPicker", "refreshFoldersButton",
                 "displayPicker", "microphoneToggle", "systemAudioToggle", "checkFramingButton"})
            EXPECT_EQ(find(QString::fromLatin1(name))->isEnabledTo(view.get()), row.settingsUsable) << name << " phase " << kind;
        for (const char* name : {"cameraPicker", "phonePicker"})
            EXPECT_EQ(find(QString::fromLatin1(name))->isEnabledTo(view.get()), row.devicesUsable) << name << " phase " << kind;
        // The bubble and the phone panel can be adjusted during a take.
        for (const char* name : {"cameraToggle", "bubbleSizeSlider", "mirrorToggle", "framingTipsToggle", "phoneToggle", "phoneHeightSlider", "phoneFrameToggle"})
            EXPECT_TRUE(find(QString::fromLatin1(name))->isEnabledTo(view.get())) << name << " phase " << kind;
    }
}

} // namespace
