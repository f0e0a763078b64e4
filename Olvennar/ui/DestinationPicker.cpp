#include "ui/DestinationPicker.h"

#include "core/RecordingController.h"
#include "platform/system/Edition.h"
#include "ui/PickerRow.h"
#include "ui/ThemeIcon.h"
#include "ui/WindowStyle.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

DestinationPicker::DestinationPicker(RecordingController& controller, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , picker_(new PickerRow(QStringLiteral("Save to"), 0, this))
    , hint_(new QLabel(this))
{
    setObjectName(QStringLiteral("destinationPicker"));
    picker_->setObjectName(QStringLiteral("saveToPicker"));
    hint_->setObjectName(QStringLiteral("destinationHint"));
    auto* refresh = new QPushButton(this);
    refresh->setObjectName(QStringLiteral("refreshFoldersButton"));
    refresh->setIcon(ThemeIcon::icon(QStringLiteral("arrow.clockwise"), WindowStyle::color(WindowStyle::Tone::primary)));
    refresh->setToolTip(QStringLiteral("Refresh the folder list — picks up a folder made since ") + Edition::appName() + QStringLiteral(" opened."));
    hint_->setFont(WindowStyle::font(11));
    hint_->setWordWrap(true);
    WindowStyle::setTone(hint_, WindowStyle::Tone::secondary);
    auto* row = new QHBoxLayout;
    row->setSpacing(6);
    row->addWidget(picker_, 1);
    row->addWidget(refresh);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addLayout(row);
    column->addWidget(hint_);
    connect(picker_, &PickerRow::activated, this, [this](const QVariant& value) {
        controller_.setDestinationFolder(value.isValid() ? std::optional<QString>(value.toString()) : std::nullopt);
    });
    connect(refresh, &QPushButton::clicked, this, [this] { controller_.refreshDestinationName(); });
    sync();
}

QString DestinationPicker::entryText(const QString& folder)
{
    const QString name = QFileInfo(QDir::cleanPath(folder)).fileName();
    if (QFileInfo(QDir(folder).filePath(QStringLiteral("hook.json"))).isFile())
        return name + QStringLiteral(" — has a hook");
    return name;
}

void DestinationPicker::sync()
{
    std::vector<PickerRow::Entry> entries{{QStringLiteral("New folder"), QVariant()}};
    for (const QString& folder : controller_.existingFolders())
        entries.push_back({entryText(folder), folder});
    const auto& destination = controller_.destinationFolder();
    picker_->setEntries(entries, destination ? QVariant(*destination) : QVariant());
    hint_->setText(destination ? QStringLiteral("Extra takes go in the same folder as take 1, numbered -2, -3, and so on.")
                               : QStringLiteral("Each take starts its own numbered folder."));
}
