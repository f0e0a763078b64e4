#include "ui/PermissionPrompt.h"

#include "platform/system/Edition.h"
#include "ui/WindowActions.h"
#include "ui/WindowStyle.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

PermissionPrompt::PermissionPrompt(WindowActions& actions, QWidget* parent)
    : NoticeCard(12, 10, parent)
{
    setObjectName(QStringLiteral("screenPermissionPrompt"));
    auto* title = new QLabel(QStringLiteral("Screen Recording permission needed"), this);
    title->setFont(WindowStyle::font(13, QFont::DemiBold));
    auto* text = new QLabel(explanation(), this);
    text->setFont(WindowStyle::font(12));
    text->setWordWrap(true);
    WindowStyle::setTone(text, WindowStyle::Tone::secondary);
    auto* grant = new QPushButton(QStringLiteral("Grant permission"), this);
    grant->setObjectName(QStringLiteral("grantScreenButton"));
    WindowStyle::makeProminent(grant);
    connect(grant, &QPushButton::clicked, this, [&actions] { actions.requestScreenPermission(); });
    content()->addWidget(title);
    content()->addWidget(text);
    content()->addWidget(grant, 0, Qt::AlignLeft);
}

QString PermissionPrompt::explanation()
{
    return QStringLiteral("Your X11 session has to allow ") + Edition::appName() + QStringLiteral(" to see your screen. ")
        + QStringLiteral("After granting it, quit and reopen the app.");
}
