#pragma once

#include <QVariant>
#include <QWidget>

class QComboBox;
class QLabel;

// A titled pop-up choice: 12 px title, flexible space, a fixed-width pop-up (170 px unless told; 0 lets
// the pop-up take the rest of the row, for long entries such as display names).
// Entries carry their value as item data; `activated` reports the user's choice only.
class PickerRow : public QWidget {
    Q_OBJECT

public:
    struct Entry {
        QString text;
        QVariant value;
        friend bool operator==(const Entry&, const Entry&) = default;
    };

    explicit PickerRow(const QString& title, int popupWidth = 170, QWidget* parent = nullptr);

    // Rebuilds the entries only when they differ, then selects the entry whose value equals `current`
    // (none when no entry matches), all without emitting.
    void setEntries(const std::vector<Entry>& entries, const QVariant& current);
    std::vector<Entry> entries() const;
    QComboBox* popup() const { return popup_; }
    QLabel* title() const { return title_; }

Q_SIGNALS:
    void activated(const QVariant& value);

private:
    QLabel* title_;
    QComboBox* popup_;
};
