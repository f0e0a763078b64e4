#include "platform/system/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <functional>
#include <optional>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

using Refusal = RegularFile::Refusal;

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool link(const QString& target, const QString& at) { return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(at).constData()) == 0; }

// A listening socket's file stays for as long as the test; the descriptor goes at once.
bool bindSocket(const QString& at)
{
    const int descriptor = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(at);
    if (descriptor < 0 || static_cast<size_t>(name.size()) >= sizeof address.sun_path)
        return false;
    std::copy(name.begin(), name.end(), address.sun_path);
    const bool bound = ::bind(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(descriptor);
    return bound;
}

} // namespace

TEST(RegularFile, readsOnlyARegularFileOfAtMostItsBoundAndNamesWhatElseWasThere)
{
    QTemporaryDir folder;
    const auto at = [&](const char* name) { return folder.filePath(QLatin1String(name)); };
    constexpr qint64 bound = 16;
    const struct {
        const char* name;
        std::function<bool(const QString&)> make;
        std::optional<Refusal> refused; // nothing: read whole
        bool otherThanRegular;
    } cases[] = {
        {"a small file", [](const QString& p) { return writeFile(p, "0123456789"); }, std::nullopt, false},
        {"a file of just the bound", [](const QString& p) { return writeFile(p, QByteArray(bound, 'x')); }, std::nullopt, false},
        {"a file a byte past it", [](const QString& p) { return writeFile(p, QByteArray(bound + 1, 'x')); }, Refusal::tooLarge, false},
        {"a link to a small file", [&](const QString& p) { return writeFile(at("target"), "0123456789") && link(QStringLiteral("target"), p); }, std::nullopt, false},
        {"a link to a device", [](const QString& p) { return link(QStringLiteral("/dev/zero"), p); }, Refusal::notRegularFile, true},
        {"a link to a FIFO", [&](const QString& p) { return ::mkfifo(QFile::encodeName(at("pipe")).constData(), 0600) == 0 && link(at("pipe"), p); },
            Refusal::notRegularFile, true},
        {"a FIFO", [](const QString& p) { return ::mkfifo(QFile::encodeName(p).constData(), 0600) == 0; }, Refusal::notRegularFile, true},
        {"a socket", bindSocket, Refusal::notRegularFile, true},
        {"a folder", [](const QString& p) { return QDir().mkpath(p); }, Refusal::notRegularFile, true},
        {"a link to nothing", [](const QString& p) { return link(QStringLiteral("gone"), p); }, Refusal::missing, false},
        {"nothing", [](const QString&) { return true; }, Refusal::missing, false},
    };
    int index = 0;
    for (const auto& each : cases) {
        SCOPED_TRACE(each.name);
        const QString path = folder.filePath(QStringLiteral("case-%1").arg(index++));
        ASSERT_TRUE(each.make(path));
        const auto read = RegularFile::read(path, bound);
        if (each.refused) {
            ASSERT_TRUE(std::holds_alternative<Refusal>(read));
            EXPECT_EQ(std::get<Refusal>(read), *each.refused);
        } else {
            ASSERT_TRUE(std::holds_alternative<RegularFile::Contents>(read));
            EXPECT_LE(std::get<RegularFile::Contents>(read).bytes.size(), bound);
            EXPECT_TRUE(std::get<RegularFile::Contents>(read).modified.isValid());
        }
        EXPECT_EQ(RegularFile::otherThanRegular(path),
            each.otherThanRegular ? std::optional(QFileInfo(path).fileName() + QStringLiteral(" is not a regular file")) : std::nullopt);
        QFile::remove(at("target"));
        QFile::remove(at("pipe"));
    }
    EXPECT_EQ(RegularFile::refusalText(Refusal::tooLarge, 64 * 1024 * 1024), QStringLiteral("larger than 64 MiB"));
    EXPECT_EQ(RegularFile::refusalText(Refusal::tooLarge, bound), QStringLiteral("larger than 16 bytes"));
}

TEST(RegularFile, holdsExactlyTheBytesOfARegularFileOnlyComparedAcrossItsChunks)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("note"));
    // Three chunks and a bit, the last byte differing in one of them.
    QByteArray bytes(3 * 1024 * 1024 + 5, 'n');
    QByteArray lastDiffers = bytes;
    lastDiffers.back() = 'x';
    ASSERT_TRUE(writeFile(path, bytes));
    EXPECT_TRUE(RegularFile::holdsExactly(path, bytes));
    EXPECT_FALSE(RegularFile::holdsExactly(path, lastDiffers));
    EXPECT_FALSE(RegularFile::holdsExactly(path, bytes.chopped(1)));
    EXPECT_FALSE(RegularFile::holdsExactly(path, bytes + 'n'));
    ASSERT_TRUE(writeFile(path, {}));
    EXPECT_TRUE(RegularFile::holdsExactly(path, {}));
    EXPECT_FALSE(RegularFile::holdsExactly(folder.filePath(QStringLiteral("nothing")), {}));
    EXPECT_FALSE(RegularFile::holdsExactly(QStringLiteral("/dev/null"), {})) << "a device holds nothing, however empty it reads";
    ASSERT_TRUE(::mkfifo(QFile::encodeName(folder.filePath(QStringLiteral("pipe"))).constData(), 0600) == 0);
    EXPECT_FALSE(RegularFile::holdsExactly(folder.filePath(QStringLiteral("pipe")), {}));
}
