#include "teleprompter/CardLettering.h"

#include "teleprompter/PrompterFont.h"

#include <QFontMetricsF>

#include <algorithm>

CardLettering CardLettering::of(FollowBox::Kind::Tag kind, double fontSize)
{
    CardLettering lettering;
    if (kind == FollowBox::Kind::Tag::orb) {
        lettering.head = prompterFont(std::max(0.36 * fontSize, 10.0), QFont::Bold, 0.8);
        lettering.gap = 4;
        lettering.text = prompterFont(0.8 * fontSize, QFont::DemiBold);
        lettering.maxLines = 3;
    } else {
        lettering.head = prompterFont(std::max(0.4 * fontSize, 10.0), QFont::ExtraBold, 1.6);
        lettering.gap = 2;
        lettering.text = prompterFont(0.92 * fontSize, QFont::DemiBold);
        lettering.maxLines = 4;
    }
    return lettering;
}

double CardLettering::headHeight() const { return QFontMetricsF(head).height(); }

double CardLettering::lineHeight() const { return QFontMetricsF(text).lineSpacing(); }

CardText CardLettering::fit(const QString& cardText, double columnWidth, double cardHeight) const
{
    const QFontMetricsF metrics(text);
    CardText::Room room;
    room.width = textWidth(columnWidth);
    room.maxLines = maxLines;
    room.lineHeight = metrics.lineSpacing();
    room.height = cardHeight - 2 * verticalPadding - headHeight() - gap;
    return CardText::fit(cardText, room, [&metrics](QStringView line) { return metrics.horizontalAdvance(line.toString()); });
}

double CardLettering::cardHeight(const CardText& fitted) const
{
    return 2 * verticalPadding + headHeight() + gap + fitted.height(lineHeight());
}
