#pragma once

#include <QWidget>

class QVBoxLayout;

// A named place in the window's column for a section built elsewhere. It shows only while it holds a
// section, so an empty place takes no room and draws no dividers.
class SectionSlot : public QWidget {
    Q_OBJECT

public:
    explicit SectionSlot(const QString& name, QWidget* parent = nullptr);

    // Takes ownership; replaces (and deletes) any earlier section. nullptr empties the slot.
    void setSection(QWidget* section);
    QWidget* section() const { return section_; }
    bool isEmpty() const { return section_ == nullptr; }

private:
    QVBoxLayout* layout_;
    QWidget* section_ = nullptr;
};
