#pragma once

#include <QPlainTextEdit>
#include <QWidget>

#include <functional>

class IconLabel;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class SegmentedControl;
class TeleprompterModel;

// The script editor of the teleprompter section. Pasted plain text is appended at the end of the script
// (after a line break when the script does not end with one), never inserted at the cursor; images and
// files are not pasted, and nothing is accepted by dropping.
class ScriptEditor : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit ScriptEditor(QWidget* parent = nullptr);
    // What pasting `pasted` into `script` gives.
    static QString appended(const QString& script, const QString& pasted);

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    // Whether a paste carries script: a plain-text flavour that is no file reference.
    static bool isPlainText(const QMimeData* source);
};

// The teleprompter's block in the main window: the show/hide button, the script, the reading mode, the
// panel position, the speech status, the text size, the orb notice and a short explanation. Everything it
// changes goes straight into the model; the model's changes redraw it without writing anything back.
class TeleprompterSection : public QWidget {
    Q_OBJECT

public:
    TeleprompterSection(TeleprompterModel& model, bool isVisible, std::function<void()> toggle, QWidget* parent = nullptr);

    void setPanelVisible(bool visible);

    static QString explanation();
    static QString orbNotice();
    // "32pt" for 32.7.
    static QString sizeText(double fontSize);

    QPushButton* toggleButton() const { return toggleButton_; }
    ScriptEditor* editor() const { return editor_; }
    SegmentedControl* modePicker() const { return modePicker_; }
    QComboBox* positionPicker() const { return positionPicker_; }
    QLabel* statusLabel() const { return status_; }
    QSlider* sizeSlider() const { return sizeSlider_; }
    QLabel* sizeLabel() const { return sizeLabel_; }
    IconLabel* orbLabel() const { return orb_; }

private:
    void refresh();

    TeleprompterModel& model_;
    std::function<void()> toggle_;
    QPushButton* toggleButton_;
    ScriptEditor* editor_;
    SegmentedControl* modePicker_;
    QComboBox* positionPicker_;
    QLabel* status_;
    QSlider* sizeSlider_;
    QLabel* sizeLabel_;
    IconLabel* orb_;
};
