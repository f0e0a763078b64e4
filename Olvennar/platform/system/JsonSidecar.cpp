#include "platform/system/JsonSidecar.h"

#include "platform/system/AtomicFile.h"

#include <QJsonDocument>

namespace JsonSidecar {

namespace {

std::optional<QString> writeDocument(const QString& path, const QJsonDocument& document, const QString& purpose, Layout layout)
{
    return AtomicFile::write(path, document.toJson(layout == Layout::indented ? QJsonDocument::Indented : QJsonDocument::Compact), purpose);
}

} // namespace

std::optional<QString> write(const QString& path, const QJsonObject& json, const QString& purpose, Layout layout)
{
    return writeDocument(path, QJsonDocument(json), purpose, layout);
}

std::optional<QString> write(const QString& path, const QJsonArray& json, const QString& purpose, Layout layout)
{
    return writeDocument(path, QJsonDocument(json), purpose, layout);
}

} // namespace JsonSidecar
