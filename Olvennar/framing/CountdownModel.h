#pragma once

#include <QObject>

// The number the countdown shows.
class CountdownModel : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    int value() const { return value_; }
    void setValue(int value)
    {
        if (value == value_)
            return;
        value_ = value;
        Q_EMIT changed();
    }

Q_SIGNALS:
    void changed();

private:
    int value_ = 3;
};
