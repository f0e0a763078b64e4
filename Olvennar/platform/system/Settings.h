#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

class QSettings;

// The user-defaults store: an INI file (~/.config/Olvennar/Olvennar.conf) with the keys exactly as the
// studio names them. INI loses types, so reads are strict: a bool is only "true"/"false", a number must
// parse completely and be finite. A value that fails its read is "another type" and the caller takes its
// default. Every write is flushed at once. Safe to use from any thread.
class Settings {
public:
    explicit Settings(const QString& filePath);
    ~Settings();
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    // The user's own store; created on first use.
    static Settings& standard();
    static QString standardFilePath();

    QString filePath() const;
    bool contains(const QString& key) const;

    std::optional<bool> boolValue(const QString& key) const;
    std::optional<double> doubleValue(const QString& key) const;
    std::optional<int64_t> integerValue(const QString& key) const;
    std::optional<QString> stringValue(const QString& key) const;
    std::optional<QStringList> stringListValue(const QString& key) const;

    bool boolValue(const QString& key, bool fallback) const { return boolValue(key).value_or(fallback); }
    double doubleValue(const QString& key, double fallback) const { return doubleValue(key).value_or(fallback); }
    QString stringValue(const QString& key, const QString& fallback) const { return stringValue(key).value_or(fallback); }

    void setBool(const QString& key, bool value);
    void setDouble(const QString& key, double value);
    void setInteger(const QString& key, int64_t value);
    void setString(const QString& key, const QString& value);
    void setStringList(const QString& key, const QStringList& value);
    void remove(const QString& key);

private:
    std::optional<QString> rawText(const QString& key) const;
    void store(const QString& key, const QVariant& value);

    mutable std::mutex lock_;
    std::unique_ptr<QSettings> store_;
};
