#include "ui/PhoneSection.h"

#include "core/RecordingController.h"
#include "ui/LabelledSlider.h"
#include "ui/PhaseGroups.h"
#include "ui/PickerRow.h"
#include "ui/Spinner.h"
#include "ui/TitleToggle.h"
#include "ui/WindowStyle.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

QLabel* secondaryText(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setFont(WindowStyle::font(11));
    label->setWordWrap(true);
    WindowStyle::setTone(label, WindowStyle::Tone::secondary);
    return label;
}
} // namespace

PhoneSection::PhoneSection(RecordingController& controller, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , enabled_(new TitleToggle(QStringLiteral("iPhone screen"), QStringLiteral("iphone"), this))
    , waiting_(new QWidget(this))
    , waitingText_(secondaryText(waiting_))
    , controls_(new QWidget(this))
    , device_(new PickerRow(QStringLiteral("Device"), 170, controls_))
    , height_(new LabelledSlider(QStringLiteral("Height"), 260, 760, QStringLiteral("px"), 0, controls_))
    , showsFrame_(new QCheckBox(QStringLiteral("Phone mockup frame"), controls_))
    , note_(secondaryText(this))
{
    setObjectName(QStringLiteral("phoneSection"));
    enabled_->setObjectName(QStringLiteral("phoneToggle"));
    waiting_->setObjectName(QStringLiteral("phoneWaitingRow"));
    waitingText_->setObjectName(QStringLiteral("phoneWaitingText"));
    controls_->setObjectName(QStringLiteral("phoneControls"));
    device_->setObjectName(QStringLiteral("phonePicker"));
    height_->setObjectName(QStringLiteral("phoneHeightSlider"));
    showsFrame_->setObjectName(QStringLiteral("phoneFrameToggle"));
    note_->setObjectName(QStringLiteral("phoneNote"));
    showsFrame_->setFont(WindowStyle::font(12));
    note_->setText(QStringLiteral("This is your phone's screen, mirrored to this computer. Your phone's camera is a different device — "
                                  "when it works as a webcam it shows up in the Camera list above."));

    auto* waitingRow = new QHBoxLayout(waiting_);
    waitingRow->setContentsMargins(0, 0, 0, 0);
    waitingRow->setSpacing(6);
    waitingRow->addWidget(new Spinner(14, waiting_), 0, Qt::AlignVCenter);
    waitingRow->addWidget(waitingText_, 1);
    auto* controlsColumn = new QVBoxLayout(controls_);
    controlsColumn->setContentsMargins(0, 0, 0, 0);
    controlsColumn->setSpacing(10);
    controlsColumn->addWidget(device_);
    controlsColumn->addWidget(height_);
    controlsColumn->addWidget(showsFrame_);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    column->addWidget(enabled_);
    column->addWidget(waiting_);
    column->addWidget(controls_);
    column->addWidget(note_);

    connect(enabled_, &QCheckBox::toggled, this, [this](bool on) { controller_.phone().setPhoneEnabled(on); });
    connect(device_, &PickerRow::activated, this, [this](const QVariant& value) {
        std::optional<QString> id; // spelled out: g++ 12 -O3 warns falsely on the conditional form
        if (value.isValid())
            id = value.toString();
        controller_.phone().setSelectedPhoneID(id);
    });
    connect(height_, &LabelledSlider::valueEdited, this, [this](double height) { controller_.phone().setPhoneHeight(height); });
    connect(showsFrame_, &QCheckBox::toggled, this, [this](bool on) { controller_.phone().setPhoneShowsFrame(on); });
    sync();
}

QString PhoneSection::waitingText(const RecordingController& controller)
{
    if (isTakeRunning(controller.phase()))
        return QStringLiteral("Waiting for your iPhone — start its screen mirror and it joins this recording.");
    // A phone here is a mirror that shows up as a video device, found by its name.
    return QStringLiteral("Waiting for your iPhone. Start its screen mirror (scrcpy or a phone webcam app) so it shows up as a video "
                          "device whose name contains \"iPhone\", \"phone\" or \"scrcpy\".");
}

void PhoneSection::sync()
{
    const bool on = controller_.phone().phoneEnabled();
    const bool none = controller_.phone().phones().empty();
    {
        const QSignalBlocker enabledBlocker(enabled_);
        const QSignalBlocker frameBlocker(showsFrame_);
        enabled_->setChecked(on);
        showsFrame_->setChecked(controller_.phone().phoneShowsFrame());
    }
    waiting_->setVisible(on && none);
    controls_->setVisible(on && !none);
    note_->setVisible(on);
    waitingText_->setText(waitingText(controller_));
    std::vector<PickerRow::Entry> phones;
    for (const CaptureDeviceInfo& phone : controller_.phone().phones())
        phones.push_back({phone.localizedName, phone.uniqueID});
    const auto& selected = controller_.phone().selectedPhoneID();
    device_->setEntries(phones, selected ? QVariant(*selected) : QVariant());
    device_->setEnabled(!isTakeRunning(controller_.phase()));
    height_->setValue(controller_.phone().phoneHeight());
}
