#include "platform/system/Settings.h"

#include "platform/system/Edition.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include <cmath>

Settings::Settings(const QString& filePath)
    : store_(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
{
}

Settings::~Settings() = default;

Settings& Settings::standard()
{
    static Settings settings(standardFilePath());
    return settings;
}

QString Settings::standardFilePath()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(config).filePath(Edition::appName() + QLatin1Char('/') + Edition::appName() + QStringLiteral(".conf"));
}

QString Settings::filePath() const { return store_->fileName(); }

bool Settings::contains(const QString& key) const
{
    std::lock_guard guard(lock_);
    return store_->contains(key);
}

std::optional<QString> Settings::rawText(const QString& key) const
{
    std::lock_guard guard(lock_);
    if (!store_->contains(key))
        return std::nullopt;
    const QVariant value = store_->value(key);
    // A list stored where a single value is expected is another type.
    if (value.typeId() == QMetaType::QStringList || value.typeId() == QMetaType::QVariantList)
        return std::nullopt;
    return value.toString();
}

std::optional<bool> Settings::boolValue(const QString& key) const
{
    const auto text = rawText(key);
    if (!text)
        return std::nullopt;
    if (*text == QLatin1String("true"))
        return true;
    if (*text == QLatin1String("false"))
        return false;
    return std::nullopt;
}

std::optional<double> Settings::doubleValue(const QString& key) const
{
    const auto text = rawText(key);
    if (!text)
        return std::nullopt;
    bool ok = false;
    const double value = text->trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<int64_t> Settings::integerValue(const QString& key) const
{
    const auto text = rawText(key);
    if (!text)
        return std::nullopt;
    bool ok = false;
    const qlonglong value = text->trimmed().toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return static_cast<int64_t>(value);
}

std::optional<QString> Settings::stringValue(const QString& key) const { return rawText(key); }

std::optional<QStringList> Settings::stringListValue(const QString& key) const
{
    std::lock_guard guard(lock_);
    if (!store_->contains(key))
        return std::nullopt;
    const QVariant value = store_->value(key);
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList();
    if (value.typeId() == QMetaType::QString) // a one-element list reads back as a plain string
        return QStringList{value.toString()};
    return std::nullopt;
}

void Settings::store(const QString& key, const QVariant& value)
{
    std::lock_guard guard(lock_);
    store_->setValue(key, value);
    store_->sync();
}

void Settings::setBool(const QString& key, bool value) { store(key, value ? QStringLiteral("true") : QStringLiteral("false")); }
void Settings::setDouble(const QString& key, double value) { store(key, QString::number(value, 'g', 17)); }
void Settings::setInteger(const QString& key, int64_t value) { store(key, QString::number(static_cast<qlonglong>(value))); }
void Settings::setString(const QString& key, const QString& value) { store(key, value); }
void Settings::setStringList(const QString& key, const QStringList& value) { store(key, value); }

void Settings::remove(const QString& key)
{
    std::lock_guard guard(lock_);
    store_->remove(key);
    store_->sync();
}
