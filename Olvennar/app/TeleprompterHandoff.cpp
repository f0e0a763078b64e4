#include "app/TeleprompterHandoff.h"

#include "teleprompter/PrompterChoices.h"
#include "teleprompter/TeleprompterModel.h"
#include "views/teleprompter/TeleprompterWindow.h"

#include <QGuiApplication>
#include <QScreen>

QString TeleprompterHandoff::text() const { return window_.model().text(); }
void TeleprompterHandoff::setText(const QString& text) { window_.model().setText(text); }
void TeleprompterHandoff::setStyle(TeleprompterScript::Style style) { window_.model().setStyle(style); }
void TeleprompterHandoff::restart() { window_.model().restart(); }
void TeleprompterHandoff::setFollowMode() { window_.model().setMode(PrompterMode::follow); }
bool TeleprompterHandoff::isPanelOpen() const { return window_.isShown(); }
void TeleprompterHandoff::hide() { window_.hide(); }
void TeleprompterHandoff::syncSpeech() { window_.syncSpeech(); }

bool TeleprompterHandoff::show(const QRect& screenFrame)
{
    // The screen under the frame's centre; the primary one when none is.
    window_.show(QGuiApplication::screenAt(screenFrame.center()));
    return window_.isShown();
}
