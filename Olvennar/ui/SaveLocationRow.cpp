#include "ui/SaveLocationRow.h"

#include "core/RecordingController.h"
#include "core/SaveLocation.h"
#include "platform/system/Settings.h"
#include "ui/ElidedLabel.h"
#include "platform/system/HomePath.h"
#include "ui/ThemeIcon.h"
#include "ui/WindowActions.h"
#include "ui/WindowStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

SaveLocationRow::SaveLocationRow(RecordingController& controller, WindowActions& actions, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , actions_(actions)
    , path_(new ElidedLabel(Qt::ElideMiddle, this))
{
    setObjectName(QStringLiteral("saveLocationRow"));
    path_->setObjectName(QStringLiteral("saveLocationPath"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    const QColor secondary = WindowStyle::color(WindowStyle::Tone::secondary);
    auto* folder = new QLabel(this);
    folder->setPixmap(ThemeIcon::icon(QStringLiteral("folder"), secondary).pixmap(13, 13));
    path_->setFont(WindowStyle::font(11));
    WindowStyle::setTone(path_, WindowStyle::Tone::secondary);
    auto* change = new QPushButton(QStringLiteral("Change…"), this);
    change->setObjectName(QStringLiteral("changeSaveFolderButton"));
    change->setFlat(true);
    WindowStyle::makeSmall(change);
    auto* show = new QToolButton(this);
    show->setObjectName(QStringLiteral("showSaveFolderButton"));
    show->setIcon(ThemeIcon::icon(QStringLiteral("arrow.up.forward.square"), WindowStyle::color(WindowStyle::Tone::primary)));
    show->setToolTip(QStringLiteral("Show in file manager"));
    show->setAutoRaise(true);
    row->addWidget(folder);
    row->addWidget(path_, 1);
    row->addSpacing(4);
    row->addWidget(change);
    row->addWidget(show);
    connect(change, &QPushButton::clicked, this, &SaveLocationRow::change);
    connect(show, &QToolButton::clicked, this, [this] {
        // The folder may not exist before the first take; make it so there is something to show. A root on a
        // drive that is not mounted is not created, and its parent is shown instead.
        const Settings& settings = controller_.platform().settings;
        SaveLocation::ensureCurrent(settings);
        actions_.revealInFileManager(SaveLocation::current(settings));
    });
    sync();
}

void SaveLocationRow::change()
{
    if (!actions_.chooseSaveFolder())
        return;
    // A new root: the next take opens a new numbered folder there.
    controller_.setDestinationFolder(std::nullopt);
    controller_.refreshDestinationName();
    sync();
}

void SaveLocationRow::sync() { path_->setText(HomePath::abbreviated(SaveLocation::current(controller_.platform().settings))); }

QString SaveLocationRow::shownPath() const { return path_->text(); }
