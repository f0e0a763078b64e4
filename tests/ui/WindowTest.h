#pragma once

#include "app/DesktopWindows.h"
#include "app/StudioTakeKinds.h"
#include "core/ControllerHooks.h"
#include "core/RecordingController.h"
#include "core/SaveLocation.h"
#include "support/FakeAccessProbe.h"
#include "support/TestEnvironment.h"
#include "ui/ContentView.h"
#include "ui/ElidedLabel.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLabel>
#include <QStringList>

#include <memory>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

// Records the reactions the window's buttons reach through the controller.
class WindowHooks final : public ControllerHooks {
public:
    QStringList calls;
    void playShort(const QString& path) override { calls << QStringLiteral("play ") + path; }
    void revealFile(const QString& path) override { calls << QStringLiteral("reveal ") + path; }
};

// A controller over sandboxed settings and fake access, and the window's content over it with every
// action recorded instead of run.
class WindowTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        settings->setString(QString::fromLatin1(SaveLocation::settingsKey), path(QStringLiteral("Recordings")));
        settings->setString(QStringLiteral("projectsRoot"), path(QStringLiteral("Projects")));
        Platform platform{*settings, access, nullptr, &hooks};
        platform.kinds = &StudioTakeKinds::standard();
        platform.windows = &DesktopWindows::shared();
        controller = std::make_unique<RecordingController>(platform);
        controller->setHasScreenPermission(true);
        controller->setMicPermission(Permissions::State::granted);
        controller->setCameraPermission(Permissions::State::granted);
        // Switching the bubble on needs a camera to show.
        controller->setCameras({device(QStringLiteral("desk"), QStringLiteral("Desk camera"))});
        view = std::make_unique<ContentView>(*controller);
        WindowActions& actions = view->actions();
        actions.start = [this] { taken << QStringLiteral("start"); };
        actions.stop = [this] { taken << QStringLiteral("stop"); };
        actions.discard = [this] { taken << QStringLiteral("discard"); };
        actions.togglePause = [this] { taken << QStringLiteral("pause"); };
        actions.chooseSaveFolder = [this] {
            taken << QStringLiteral("choose");
            if (chosenFolder.isEmpty())
                return false;
            settings->setString(QString::fromLatin1(SaveLocation::settingsKey), chosenFolder);
            return true;
        };
        actions.revealInFileManager = [this](const QString& where) { taken << QStringLiteral("show ") + where; };
        view->show();
        settle();
    }

    void TearDown() override
    {
        view.reset();
        controller.reset();
        SandboxTest::TearDown();
    }

    // Lets the coalesced redraw run.
    static void settle()
    {
        for (int i = 0; i < 4; ++i)
            QCoreApplication::processEvents();
    }

    // The shown widget of that name (the mode section exists in both branches), else the first one.
    template <typename T = QWidget>
    T* find(const QString& name) const
    {
        const QList<T*> all = view->findChildren<T*>(name);
        for (T* widget : all) {
            if (widget->isVisibleTo(view.get()))
                return widget;
        }
        return all.isEmpty() ? nullptr : all.first();
    }
    // Shown as far as the window goes (every ancestor up to the view is shown).
    bool shows(const QString& name) const
    {
        QWidget* widget = find(name);
        return widget && widget->isVisibleTo(view.get());
    }
    // A label's text, or the whole text of a one-line label that shortens itself.
    QString text(const QString& name) const
    {
        if (auto* label = find<QLabel>(name))
            return label->text();
        auto* elided = find<ElidedLabel>(name);
        return elided ? elided->text() : QString();
    }
    void click(const QString& name)
    {
        auto* button = find<QAbstractButton>(name);
        ASSERT_NE(button, nullptr) << name.toStdString();
        ASSERT_TRUE(button->isVisibleTo(view.get())) << name.toStdString();
        ASSERT_TRUE(button->isEnabled()) << name.toStdString();
        button->click();
        settle();
    }
    void setPhase(const RecordingPhase& phase)
    {
        controller->setPhase(phase);
        settle();
    }

    static CaptureDeviceInfo device(const QString& id, const QString& name, int rank = 0)
    {
        CaptureDeviceInfo info;
        info.uniqueID = id;
        info.localizedName = name;
        info.rank = rank;
        return info;
    }

    FakeAccessProbe access;
    WindowHooks hooks;
    std::unique_ptr<RecordingController> controller;
    std::unique_ptr<ContentView> view;
    QStringList taken;
    QString chosenFolder;
};
