#include "teleprompter/RectNotation.h"

#include <QRegularExpression>

#include <array>
#include <cmath>

namespace RectNotation {

namespace {

QString number(double value) { return QString::number(value, 'g', 12); }

// The braces a form opens with: two for a rectangle, one for a size or point; spaces between them are fine.
bool opensWith(const QString& text, int braces)
{
    int seen = 0;
    for (const QChar c : text) {
        if (c.isSpace())
            continue;
        if (c != QLatin1Char('{'))
            return false;
        if (++seen == braces)
            return true;
    }
    return false;
}

template <size_t N>
std::array<double, N> numbers(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral(R"([-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?)"));
    std::array<double, N> values{};
    if (!opensWith(text, N == 4 ? 2 : 1))
        return values;
    size_t count = 0;
    for (auto it = pattern.globalMatch(text); it.hasNext() && count < N;) {
        const double value = it.next().captured().toDouble();
        values[count++] = std::isfinite(value) ? value : 0.0;
    }
    return values;
}

} // namespace

QString fromRect(const QRectF& r)
{
    return QStringLiteral("{{%1, %2}, {%3, %4}}").arg(number(r.x()), number(r.y()), number(r.width()), number(r.height()));
}

QString fromSize(QSizeF s) { return QStringLiteral("{%1, %2}").arg(number(s.width()), number(s.height())); }

QString fromPoint(QPointF p) { return QStringLiteral("{%1, %2}").arg(number(p.x()), number(p.y())); }

QRectF rect(const QString& text)
{
    const auto v = numbers<4>(text);
    return {v[0], v[1], v[2], v[3]};
}

QSizeF size(const QString& text)
{
    const auto v = numbers<2>(text);
    return {v[0], v[1]};
}

QPointF point(const QString& text)
{
    const auto v = numbers<2>(text);
    return {v[0], v[1]};
}

} // namespace RectNotation
