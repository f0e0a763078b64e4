#include "platform/system/JsonSidecar.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

#include <gtest/gtest.h>

namespace {

class JsonSidecarTest : public SandboxTest {
protected:
    QByteArray read(const QString& file) const
    {
        QFile in(file);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }
};

} // namespace

TEST_F(JsonSidecarTest, WritesSortedKeysInEitherLayoutAndReplacesWhatWasThere)
{
    const QString target = path(QStringLiteral("zoom-2.json"));
    const QJsonObject json{{QStringLiteral("zooms"), QJsonArray{1.5}}, {QStringLiteral("mode"), QStringLiteral("Every click")}};
    ASSERT_FALSE(JsonSidecar::write(target, json, QStringLiteral("zoom")));
    const QByteArray indented = read(target);
    EXPECT_EQ(indented, QJsonDocument(json).toJson(QJsonDocument::Indented));
    EXPECT_LT(indented.indexOf("\"mode\""), indented.indexOf("\"zooms\""));

    ASSERT_FALSE(JsonSidecar::write(target, QJsonArray{json}, QStringLiteral("zoom"), JsonSidecar::Layout::compact));
    EXPECT_EQ(read(target), R"([{"mode":"Every click","zooms":[1.5]}])");
    EXPECT_TRUE(QDir(folder->path()).entryList({QStringLiteral(".zoom-*")}, QDir::Hidden | QDir::Files).isEmpty());
}

TEST_F(JsonSidecarTest, AFailedWriteSaysWhyAndLeavesNothingBehind)
{
    const auto error = JsonSidecar::write(path(QStringLiteral("gone/stop.json")), QJsonObject{{QStringLiteral("stoppedBy"), QStringLiteral("app")}},
        QStringLiteral("stop"));
    ASSERT_TRUE(error);
    EXPECT_FALSE(error->isEmpty());
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("gone/stop.json"))));
}
