#include "MediaTestSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace MediaTestSupport {

MovieAsset assetOf(const QString& path)
{
    auto opened = MovieAsset::open(path);
    if (auto* failure = std::get_if<MediaError>(&opened)) {
        ADD_FAILURE() << failure->description.toStdString();
        return {};
    }
    return std::get<MovieAsset>(opened);
}

QStringList hiddenFiles(const QString& folder)
{
    return QDir(folder).entryList(QStringList {QStringLiteral(".*")}, QDir::Files | QDir::Hidden);
}

void writeText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

QByteArray readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace MediaTestSupport
