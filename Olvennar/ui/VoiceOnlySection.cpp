#include "ui/VoiceOnlySection.h"

#include "ui/MicrophonePicker.h"
#include "ui/SectionNote.h"
#include "ui/SectionTitle.h"

#include <QLabel>
#include <QVBoxLayout>

VoiceOnlySection::VoiceOnlySection(RecordingController& controller, QWidget* parent)
    : QWidget(parent)
    , microphone_(new MicrophonePicker(controller, this))
{
    setObjectName(QStringLiteral("voiceOnlySection"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    column->addWidget(new SectionTitle(QStringLiteral("Voice only"), QStringLiteral("mic.fill"), this));
    column->addWidget(microphone_);
    column->addWidget(SectionNote::make(QStringLiteral("voiceOnlyNote"),
        QStringLiteral("Records the microphone only: no camera, no screen. Each take is saved in the Save-to folder as voice.m4a, then "
                       "voice-2.m4a, voice-3.m4a. The teleprompter still follows your voice. For the parts where you appear, switch to Just me."),
        this));
}

void VoiceOnlySection::sync() { microphone_->sync(); }
