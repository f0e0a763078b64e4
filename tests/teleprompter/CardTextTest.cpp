#include "teleprompter/CardText.h"

#include "teleprompter/TextCharacters.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

// Every character 10 wide at full size.
double advance(QStringView line) { return 10.0 * double(TextCharacters::count(line)); }

CardText::Room room(double width, int maxLines, double height = std::numeric_limits<double>::infinity())
{
    return {width, maxLines, 10, height};
}

TEST(CardTextTest, ShrinksToItsLinesThenBreaksAndCuts)
{
    struct Row {
        const char* what;
        QString text;
        CardText::Room room;
        QStringList lines;
        double scale;
        bool cut;
    };
    const QString accented = QString(QStringLiteral("e\u0301")).repeated(12);
    const std::vector<Row> rows{
        {"fits whole", u"the chart"_qs, room(200, 4), {u"the chart"_qs}, 1, false},
        {"wraps at spaces", u"aaaa bbbb cccc"_qs, room(90, 4), {u"aaaa bbbb"_qs, u"cccc"_qs}, 1, false},
        {"shrinks to keep one line", u"aaaa bbbb"_qs, room(80, 1), {u"aaaa bbbb"_qs}, 80.0 / 90, false},
        {"shrinks a word a little too wide", u"abcdefghij"_qs, room(80, 4), {u"abcdefghij"_qs}, 0.8, false},
        {"a height of two lines holds three once shrunk", u"aaaa bbbb cccc"_qs, room(40, 4, 20), {u"aaaa"_qs, u"bbbb"_qs, u"cccc"_qs}, 2.0 / 3, false},
        {"breaks a word too wide at the smallest size", u"abcdefghijklmnopqrstuvwxyzabcd"_qs, room(60, 4),
            {u"abcdefghij"_qs, u"klmnopqrst"_qs, u"uvwxyzabcd"_qs}, 0.6, false},
        {"the rest of a broken word goes on with the next word", u"abcdefghijklm no"_qs, room(60, 4), {u"abcdefghij"_qs, u"klm no"_qs}, 0.6, false},
        {"breaks between characters, not inside one", accented, room(60, 4), {accented.first(20), accented.sliced(20)}, 0.6, false},
        {"cuts the last line with an ellipsis", u"aaaa bbbb cccc dddd eeee ffff"_qs, room(60, 2), {u"aaaa bbbb"_qs, u"cccc dddd…"_qs}, 0.6, true},
        {"cuts inside a broken word", u"abcdefghijklmnopqrstuvwxyz"_qs, room(60, 2), {u"abcdefghij"_qs, u"klmnopqrs…"_qs}, 0.6, true},
        {"no space before the ellipsis", u"aaaaaaaa bbbb cc"_qs, room(60, 1), {u"aaaaaaaa…"_qs}, 0.6, true},
        {"source lines stay lines", u"aa\n\nbb"_qs, room(200, 4), {u"aa"_qs, u"bb"_qs}, 1, false},
        {"blank text", u" \n "_qs, room(200, 4), {}, 1, false},
        {"no width to measure", u"aa bb"_qs, room(0, 4), {u"aa bb"_qs}, 1, false},
    };
    for (const Row& row : rows) {
        const CardText fitted = CardText::fit(row.text, row.room, advance);
        EXPECT_EQ(fitted.lines, row.lines) << row.what;
        EXPECT_NEAR(fitted.scale, row.scale, 1e-3) << row.what;
        EXPECT_LE(fitted.scale, row.scale + 1e-9) << row.what << ": never larger than what fits";
        EXPECT_EQ(fitted.cut, row.cut) << row.what;
        if (row.room.width > 0) {
            for (const QString& line : fitted.lines)
                EXPECT_LE(advance(line) * fitted.scale, row.room.width + 1e-6) << row.what << ": " << line.toStdString();
        }
    }
}

} // namespace
