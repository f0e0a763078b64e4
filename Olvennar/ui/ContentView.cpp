#include "ui/ContentView.h"

#include "core/Edition.h"
#include "core/RecordingController.h"

#include <QLabel>
#include <QVBoxLayout>

ContentView::ContentView(RecordingController& controller, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
{
    setFixedWidth(contentWidth);
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(Edition::appName(), this);
    QFont font = title->font();
    font.setPointSizeF(font.pointSizeF() * 1.4);
    font.setBold(true);
    title->setFont(font);
    layout->addWidget(title);
    layout->addWidget(new QLabel(QStringLiteral("Ready."), this));
}
