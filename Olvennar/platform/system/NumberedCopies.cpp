#include "platform/system/NumberedCopies.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <utility>
#include <vector>

namespace NumberedCopies {

namespace {

QString extensionOf(const QFileInfo& info) { return info.suffix().isEmpty() ? QString() : QStringLiteral(".") + info.suffix(); }

} // namespace

QString freePath(const QString& path)
{
    if (!QFileInfo::exists(path))
        return path;
    const QFileInfo info(path);
    const QString extension = extensionOf(info);
    for (int n = 2;; ++n) {
        const QString candidate = info.dir().filePath(info.completeBaseName() + QStringLiteral(" (%1)").arg(n) + extension);
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
}

QStringList existing(const QString& path)
{
    const QFileInfo info(path);
    const QRegularExpression pattern(QStringLiteral("^") + QRegularExpression::escape(info.completeBaseName()) + QStringLiteral(R"( \(([2-9]|[1-9]\d+)\))")
        + QRegularExpression::escape(extensionOf(info)) + QStringLiteral("$"));
    std::vector<std::pair<qlonglong, QString>> found;
    const QStringList names = info.dir().entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const QRegularExpressionMatch match = pattern.match(name);
        if (match.hasMatch())
            found.emplace_back(match.captured(1).toLongLong(), name);
    }
    std::sort(found.begin(), found.end());
    QStringList result;
    for (const auto& [number, name] : found)
        result << name;
    return result;
}

} // namespace NumberedCopies
