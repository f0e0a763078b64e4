#include "teleprompter/ScriptLanguageModel.h"

#include <QHash>
#include <QStringList>

#include <gtest/gtest.h>

#include <cmath>
#include <map>

namespace {

// A few real dictionary entries; letters are spelled with their "x." entries.
std::optional<QString> dictionary(const QString& word)
{
    static const QHash<QString, QString> entries{
        {QStringLiteral("we"), QStringLiteral("W IY")}, {QStringLiteral("record"), QStringLiteral("R EH K ER D")},
        {QStringLiteral("the"), QStringLiteral("DH AH")}, {QStringLiteral("take"), QStringLiteral("T EY K")},
        {QStringLiteral("api"), QStringLiteral("EY P IY AY")}, {QStringLiteral("nasa"), QStringLiteral("N AE S AH")},
        {QStringLiteral("don't"), QStringLiteral("D OW N T")}, {QStringLiteral("twenty"), QStringLiteral("T W EH N T IY")},
        {QStringLiteral("one"), QStringLiteral("W AH N")}, {QStringLiteral("forty"), QStringLiteral("F AO R T IY")},
        {QStringLiteral("two"), QStringLiteral("T UW")}, {QStringLiteral("today"), QStringLiteral("T AH D EY")},
        {QStringLiteral("a."), QStringLiteral("EY")}, {QStringLiteral("i."), QStringLiteral("AY")},
        {QStringLiteral("n."), QStringLiteral("EH N")}, {QStringLiteral("p."), QStringLiteral("P IY")},
        {QStringLiteral("q."), QStringLiteral("K Y UW")}, {QStringLiteral("s."), QStringLiteral("EH S")},
        {QStringLiteral("x."), QStringLiteral("EH K S")}, {QStringLiteral("z."), QStringLiteral("Z IY")}};
    const auto found = entries.constFind(word);
    return found == entries.cend() ? std::nullopt : std::optional<QString>(*found);
}

// The ARPA text read back as probabilities with back-off, to check each history's distribution sums to one.
class ArpaModel {
public:
    explicit ArpaModel(const QByteArray& text)
    {
        int order = 0;
        for (const QByteArray& raw : text.split('\n')) {
            const QString line = QString::fromUtf8(raw).trimmed();
            if (line.startsWith(u'\\') && line.endsWith(QStringLiteral("-grams:"))) {
                order = line.mid(1, 1).toInt();
                continue;
            }
            if (order == 0 || line.isEmpty() || line.startsWith(u'\\'))
                continue;
            const QStringList fields = line.split(u' ');
            const QStringList words = fields.mid(1, order);
            probability[words.join(u' ')] = std::pow(10.0, fields[0].toDouble());
            if (fields.size() > order + 1)
                backoff[words.join(u' ')] = std::pow(10.0, fields[order + 1].toDouble());
            if (order == 1 && words[0] != QStringLiteral("<s>"))
                vocabulary.append(words[0]);
        }
    }
    double p(const QStringList& context, const QString& word) const
    {
        const QString key = (context + QStringList{word}).join(u' ');
        if (const auto found = probability.find(key); found != probability.end())
            return found->second;
        if (context.isEmpty())
            return 0;
        const auto weight = backoff.find(context.join(u' '));
        return (weight == backoff.end() ? 1.0 : weight->second) * p(context.mid(1), word);
    }
    double total(const QStringList& context) const
    {
        double sum = 0;
        for (const QString& word : vocabulary)
            sum += p(context, word);
        return sum;
    }
    std::map<QString, double> probability;
    std::map<QString, double> backoff;
    QStringList vocabulary;
};

TEST(ScriptLanguageModelTest, WrittenWordsBecomeDictionaryWords)
{
    const struct {
        const char* written;
        QStringList words;
    } cases[] = {
        {"Hello,", {QStringLiteral("Hello")}},
        {"don\u2019t", {QStringLiteral("don't")}},
        {"twenty-one", {QStringLiteral("twenty"), QStringLiteral("one")}},
        {"42", {QStringLiteral("forty"), QStringLiteral("two")}},
        {"2026", {QStringLiteral("2026")}},
        {"'quoted'", {QStringLiteral("quoted")}},
        {"[PINCH]", {}},
        {"--", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScriptLanguageModel::dictionaryWords(QString::fromUtf8(c.written)), c.words) << c.written;
}

TEST(ScriptLanguageModelTest, UnknownWordsAreDroppedOnceAndAcronymsAreSpelled)
{
    const auto result = ScriptLanguageModel::build(
        QStringLiteral("We record the XQZ take. We record Blorptastic today, Blorptastic! NASA and API."),
        {QStringLiteral("Blorptastic"), QStringLiteral("twenty-one")}, dictionary);
    EXPECT_EQ(result.droppedWords, 2); // "blorptastic" and "and"
    // A missing acronym is spelled; one said otherwise gets a spelled alternative; a spelled one is kept.
    const std::map<QString, QString> pronunciations(result.model.pronunciations.begin(), result.model.pronunciations.end());
    const std::map<QString, QString> expected{{QStringLiteral("we"), QStringLiteral("W IY")}, {QStringLiteral("record"), QStringLiteral("R EH K ER D")},
        {QStringLiteral("the"), QStringLiteral("DH AH")}, {QStringLiteral("take"), QStringLiteral("T EY K")}, {QStringLiteral("today"), QStringLiteral("T AH D EY")},
        {QStringLiteral("xqz"), QStringLiteral("EH K S K Y UW Z IY")}, {QStringLiteral("nasa"), QStringLiteral("N AE S AH")},
        {QStringLiteral("nasa(2)"), QStringLiteral("EH N EY EH S EY")}, {QStringLiteral("api"), QStringLiteral("EY P IY AY")},
        {QStringLiteral("twenty"), QStringLiteral("T W EH N T IY")}, {QStringLiteral("one"), QStringLiteral("W AH N")}};
    EXPECT_EQ(pronunciations, expected);
    EXPECT_EQ(result.model.pronunciations.size(), expected.size());
    const ArpaModel model(result.model.arpa);
    EXPECT_TRUE(model.probability.count(QStringLiteral("record the xqz")));
    EXPECT_TRUE(model.probability.count(QStringLiteral("twenty"))); // contextual words join as single words
    // No n-gram spans the dropped word.
    EXPECT_FALSE(model.probability.count(QStringLiteral("record today")));
    EXPECT_TRUE(model.probability.count(QStringLiteral("<s> today")));
}

TEST(ScriptLanguageModelTest, EveryHistoryIsAProperDistribution)
{
    const auto result = ScriptLanguageModel::build(
        QStringLiteral("We record the take today. We record the API. The take, the take, the take. Today we record."),
        {QStringLiteral("forty-two")}, dictionary);
    const ArpaModel model(result.model.arpa);
    EXPECT_NEAR(model.total({}), 1.0, 1e-4);
    for (const auto& [history, weight] : model.backoff)
        EXPECT_NEAR(model.total(history.split(u' ')), 1.0, 1e-4) << history.toStdString();
}

TEST(ScriptLanguageModelTest, OrbBlocksAreNotSpokenAndANoteAloneGivesNoModel)
{
    EXPECT_FALSE(ScriptLanguageModel::build(QStringLiteral("We record.[ORB]Today[/ORB]"), {}, dictionary).model.arpa.contains("today"));
    EXPECT_TRUE(ScriptLanguageModel::build(QStringLiteral("[ORB]Only a note.[/ORB]"), {}, dictionary).model.arpa.isEmpty());
}

} // namespace
