#include "ui/TeleprompterSection.h"

#include "teleprompter/TeleprompterModel.h"
#include "teleprompter/TeleprompterScript.h"
#include "ui/IconLabel.h"
#include "ui/SectionTitle.h"
#include "ui/SegmentedControl.h"
#include "ui/WindowStyle.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QSlider>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int sizeScale = 100;

QLabel* rowTitle(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(WindowStyle::font(12));
    label->setFixedWidth(66);
    return label;
}

QHBoxLayout* row(QVBoxLayout* column)
{
    auto* layout = new QHBoxLayout;
    layout->setSpacing(8);
    layout->setContentsMargins(0, 0, 0, 0);
    column->addLayout(layout);
    return layout;
}

} // namespace

ScriptEditor::ScriptEditor(QWidget* parent) : QPlainTextEdit(parent) { setAcceptDrops(false); }

QString ScriptEditor::appended(const QString& script, const QString& pasted)
{
    if (pasted.isEmpty())
        return script;
    if (script.isEmpty())
        return pasted;
    return script + (script.endsWith(QLatin1Char('\n')) ? QString() : QStringLiteral("\n")) + pasted;
}

bool ScriptEditor::isPlainText(const QMimeData* source)
{
    if (!source || !source->hasFormat(QStringLiteral("text/plain")))
        return false;
    // A file manager's copy is the file, wherever it lies (a share, the trash, this disk), whatever text it
    // adds beside it: its copy marker, newer versions of it written into the text itself, or any address
    // other than a web page's. Qt also offers a copied file's address as text without a text flavour.
    if (source->hasFormat(QStringLiteral("x-special/gnome-copied-files")) || source->text().startsWith(QStringLiteral("x-special/nautilus-clipboard\n")))
        return false;
    const QList<QUrl> urls = source->urls();
    return std::all_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.scheme() == u"http" || url.scheme() == u"https"; });
}

bool ScriptEditor::canInsertFromMimeData(const QMimeData* source) const { return isPlainText(source); }

void ScriptEditor::insertFromMimeData(const QMimeData* source)
{
    if (!isPlainText(source))
        return;
    const QString text = source->text();
    if (text.isEmpty())
        return;
    // Added at the end through the document, as one edit, so Undo takes the paste back and keeps what came before.
    const QString script = toPlainText();
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(appended(script, text).mid(script.size()));
    setTextCursor(end);
}

TeleprompterSection::TeleprompterSection(TeleprompterModel& model, bool isVisible, std::function<void()> toggle, QWidget* parent)
    : QWidget(parent)
    , model_(model)
    , toggle_(std::move(toggle))
    , toggleButton_(new QPushButton(this))
    , editor_(new ScriptEditor(this))
    , modePicker_(new SegmentedControl(this))
    , positionPicker_(new QComboBox(this))
    , status_(new QLabel(this))
    , sizeSlider_(new QSlider(Qt::Horizontal, this))
    , sizeLabel_(new QLabel(this))
    , orb_(new IconLabel(QStringLiteral("pause.circle"), orbNotice(), WindowStyle::font(11), WindowStyle::Tone::primary, this))
{
    setObjectName(QStringLiteral("teleprompterSection"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);

    auto* header = row(column);
    header->addWidget(new SectionTitle(QStringLiteral("Teleprompter"), QStringLiteral("text.alignleft"), this));
    header->addStretch();
    WindowStyle::makeSmall(toggleButton_);
    header->addWidget(toggleButton_);
    connect(toggleButton_, &QPushButton::clicked, this, [this] {
        if (toggle_)
            toggle_();
    });

    editor_->setFont(WindowStyle::font(12));
    editor_->setFixedHeight(160);
    editor_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    editor_->setObjectName(QStringLiteral("scriptEditor"));
    editor_->setStyleSheet(QStringLiteral("QPlainTextEdit#scriptEditor { border: 1px solid rgba(128, 128, 128, 64); border-radius: 6px; padding: 4px; }"));
    column->addWidget(editor_);
    connect(editor_, &QPlainTextEdit::textChanged, this, [this] { model_.setText(editor_->toPlainText()); });

    auto* modeRow = row(column);
    modeRow->addWidget(rowTitle(QStringLiteral("Reads"), this));
    QStringList modes;
    for (PrompterMode mode : allPrompterModes)
        modes << PrompterChoices::title(mode);
    modePicker_->setSegments(modes);
    modeRow->addWidget(modePicker_, 1);
    connect(modePicker_, &SegmentedControl::activated, this, [this](int index) { model_.setMode(allPrompterModes[static_cast<size_t>(index)]); });

    auto* positionRow = row(column);
    positionRow->addWidget(rowTitle(QStringLiteral("Position"), this));
    for (PrompterPosition position : allPrompterPositions)
        positionPicker_->addItem(PrompterChoices::title(position));
    positionRow->addWidget(positionPicker_, 1);
    connect(positionPicker_, &QComboBox::activated, this, [this](int index) { model_.setPosition(allPrompterPositions[static_cast<size_t>(index)]); });

    // The status may carry what the recogniser heard.
    status_->setTextFormat(Qt::PlainText);
    status_->setFont(WindowStyle::font(11));
    WindowStyle::setTone(status_, WindowStyle::Tone::secondary);
    column->addWidget(status_);

    auto* sizeRow = row(column);
    sizeRow->addWidget(rowTitle(QStringLiteral("Text size"), this));
    sizeSlider_->setRange(18 * sizeScale, 54 * sizeScale);
    sizeRow->addWidget(sizeSlider_, 1);
    sizeLabel_->setFont(WindowStyle::font(11));
    WindowStyle::setTone(sizeLabel_, WindowStyle::Tone::secondary);
    sizeLabel_->setFixedWidth(46);
    sizeLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    sizeRow->addWidget(sizeLabel_);
    connect(sizeSlider_, &QSlider::valueChanged, this, [this](int value) { model_.setFontSize(double(value) / sizeScale); });

    orb_->setColor(QColor::fromRgbF(0.42f, 0.62f, 0.53f));
    orb_->setWordWrap(true);
    column->addWidget(orb_);

    auto* help = new QLabel(explanation(), this);
    help->setFont(WindowStyle::font(11));
    help->setWordWrap(true);
    WindowStyle::setTone(help, WindowStyle::Tone::secondary);
    column->addWidget(help);

    connect(&model_, &TeleprompterModel::changed, this, &TeleprompterSection::refresh);
    setPanelVisible(isVisible);
    refresh();
}

QString TeleprompterSection::explanation()
{
    return QStringLiteral("Floats near the lens and stays out of the recording. Follow mode listens to your voice; Super+Alt+Left and "
                          "Super+Alt+Right step a box. Position > Set camera spot: drag the cross onto your lens and the reading line "
                          "sits right under it.");
}

QString TeleprompterSection::orbNotice() { return QStringLiteral("This script has an orb line. Don't read it — pause, hold a beat, carry on."); }

QString TeleprompterSection::sizeText(double fontSize)
{
    // Whole points; a size beyond any integer shows its bound.
    const double whole = std::trunc(fontSize);
    const double bounded = std::isfinite(whole) ? std::clamp(whole, -1e15, 1e15) : 0;
    return QString::number(static_cast<long long>(bounded)) + QStringLiteral("pt");
}

void TeleprompterSection::setPanelVisible(bool visible)
{
    toggleButton_->setText(visible ? QStringLiteral("Hide") : QStringLiteral("Show"));
}

void TeleprompterSection::refresh()
{
    if (editor_->toPlainText() != model_.text()) {
        const QSignalBlocker blocker(editor_);
        editor_->setPlainText(model_.text());
        editor_->moveCursor(QTextCursor::End);
    }
    modePicker_->setCurrentIndex(static_cast<int>(model_.mode()));
    {
        const QSignalBlocker blocker(positionPicker_);
        positionPicker_->setCurrentIndex(static_cast<int>(model_.position()));
    }
    status_->setText(model_.speechStatus());
    status_->setVisible(model_.mode() == PrompterMode::follow && !model_.speechStatus().isEmpty());
    {
        // A stored size beyond the slider keeps its value: the handle stops at the end without writing.
        const QSignalBlocker blocker(sizeSlider_);
        const double position = std::clamp(model_.fontSize() * sizeScale, double(sizeSlider_->minimum()), double(sizeSlider_->maximum()));
        sizeSlider_->setValue(static_cast<int>(std::lround(position)));
    }
    sizeLabel_->setText(sizeText(model_.fontSize()));
    orb_->setVisible(model_.text().contains(TeleprompterScript::orbOpen));
}
