#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

// A descriptor of a file, kept to sync it, to reach it and to find it again: a descriptor stays with its file
// through every rename of the file or of its folders, a path does not. Owns the descriptor. Not thread-safe;
// the owner serialises calls.
class OpenFile {
public:
    // What names one file on this machine, and how many names it has left.
    struct Identity {
        uint64_t device = 0;
        uint64_t inode = 0;
        uint64_t links = 0;
        bool sameFileAs(const Identity& other) const { return device == other.device && inode == other.inode; }
    };
    // A path where the file may lie, with the identity found there (nothing when the path names nothing).
    using Candidate = std::pair<QString, std::optional<Identity>>;

    OpenFile() = default;
    ~OpenFile();
    OpenFile(OpenFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    OpenFile& operator=(OpenFile&& other) noexcept;
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    // The file at `path`, or why it cannot be opened.
    static std::variant<OpenFile, QString> open(const QString& path);
    // Owns a descriptor opened elsewhere (with flags of the caller's own); -1 owns nothing.
    static OpenFile adopt(int fd) { return OpenFile(fd); }

    bool isOpen() const { return fd_ >= 0; }
    int descriptor() const { return fd_; }
    // A path that opens this very file (or folder) wherever it lies now: the descriptor's name in /proc.
    QString throughDescriptor() const;
    // What names the file now (its device and inode); nothing when the descriptor cannot be read.
    std::optional<Identity> identity() const;
    // fsync of the file wherever it lies now; why it failed otherwise.
    std::optional<QString> sync() const;
    // Where the file lies now: the first of `expected` that names it, else the name the kernel keeps for the
    // descriptor when that still names it; nothing once the file was deleted (a move to another disk copies
    // and deletes) or no path reaches it.
    std::optional<QString> location(const QStringList& expected) const;

    // The first candidate that names `file`; nothing once the file has no name left.
    static std::optional<QString> firstNaming(const Identity& file, const std::vector<Candidate>& candidates);

private:
    explicit OpenFile(int fd) : fd_(fd) {}

    int fd_ = -1;
};
