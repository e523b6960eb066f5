#include "services/PatternFile.h"

#include "keys/Cp1252.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The pattern, its break, and one byte to tell CR LF from a lone CR.
constexpr int kMostBytes = PatternFile::kMaxChars + 2;
constexpr int kMostLinks = 40;

// The process's umask, read once without changing it (changing it, even for
// a moment, would hand another thread's new files the wrong permissions).
mode_t processUmask()
{
    static const mode_t mask = [] {
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : status.readAll().split('\n')) {
                if (line.startsWith("Umask:")) {
                    bool ok = false;
                    const uint value = line.mid(6).trimmed().toUInt(&ok, 8);
                    if (ok)
                        return mode_t(value);
                }
            }
        }
        const mode_t current = ::umask(022); // no /proc: read it the old way, once
        ::umask(current);
        return current;
    }();
    return mask;
}

// The permissions a new file gets: read and write for all, less the umask.
mode_t newFileMode()
{
    return 0666 & ~processUmask();
}

// The file a path names once every symbolic link on the way is followed
// (a link's own name is replaced, never the link); empty for a loop.
std::string followLinks(std::string path)
{
    for (int hops = 0; hops < kMostLinks; ++hops) {
        char target[4096];
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
        if (n < 0)
            return path; // not a link, or nothing there yet
        const std::string link(target, std::size_t(n));
        if (!link.empty() && link.front() == '/') {
            path = link;
        } else {
            const auto slash = path.rfind('/');
            path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + link;
        }
    }
    return {};
}

std::string folderOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Whether this user may replace the file: by the system's own judgement, and
// for root (who may write anything), only a file with a write bit for someone.
bool mayWrite(const std::string &path, const struct stat &st)
{
    if (::geteuid() == 0)
        return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

// Under a file-size limit the system kills a writer with SIGXFSZ; while this
// lives, such a write fails as a write instead.
class FileSizeSignalIgnored
{
public:
    FileSizeSignalIgnored()
    {
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGXFSZ, &ignore, &m_old);
    }
    ~FileSizeSignalIgnored() { ::sigaction(SIGXFSZ, &m_old, nullptr); }
    FileSizeSignalIgnored(const FileSizeSignalIgnored &) = delete;
    FileSizeSignalIgnored &operator=(const FileSizeSignalIgnored &) = delete;

private:
    struct sigaction m_old = {};
};

bool writeAll(int fd, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (!(n < 0 && errno == EINTR))
            return false;
    }
    return true;
}

// Rewrites the file itself, for a file with other names (hard links) or an
// owner this user cannot give a new file: the same inode keeps every name
// and its owner. The bytes are ready before the file is touched.
bool writeInPlace(const std::string &target, const struct stat &existing, const QByteArray &bytes)
{
    const int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st = {};
    bool ok =
        ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_ino == existing.st_ino && st.st_dev == existing.st_dev;
    ok = ok && ::ftruncate(fd, 0) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    return ok;
}

// Writes the file beside the target, with the target's owner, group and
// mode, and renames it over the target. False (and the target untouched)
// when any step fails; `ownerKept` false when the owner could not be given.
bool replaceAtomically(const std::string &target, const struct stat *existing, const QByteArray &bytes, bool &ownerKept)
{
    ownerKept = true;
    std::string temporary = folderOf(target) + "/.tamvolo-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return false;
    bool ok = true;
    if (existing && ::fchown(fd, existing->st_uid, existing->st_gid) != 0)
        ok = ownerKept = false;
    const mode_t mode = existing ? existing->st_mode & 07777 : newFileMode();
    ok = ok && writeAll(fd, bytes) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok)
        ::unlink(temporary.c_str());
    return ok;
}

} // namespace

std::optional<QString> PatternFile::read(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    // Without O_NONBLOCK, opening a named pipe would wait for a writer.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat st = {};
    char bytes[kMostBytes];
    ssize_t got = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        got = ::read(fd, bytes, sizeof bytes);
    ::close(fd);
    if (got < 0)
        return std::nullopt;

    return parse(bytes, std::size_t(got));
}

QString PatternFile::parse(const char *bytes, std::size_t size)
{
    QString pattern;
    for (std::size_t i = 0; i < size && pattern.size() < kMaxChars; ++i) {
        const auto byte = std::uint8_t(bytes[i]);
        if (byte == '\r' || byte == '\n')
            break;
        const char32_t ch = Cp1252::decodeByte(byte);
        pattern += QString::fromUcs4(&ch, 1);
    }
    return pattern;
}

bool PatternFile::write(const QString &path, const QString &pattern)
{
    const std::string target = followLinks(QFile::encodeName(path).toStdString());
    if (target.empty())
        return false;
    struct stat existing = {};
    const bool exists = ::lstat(target.c_str(), &existing) == 0;
    if (exists && (!S_ISREG(existing.st_mode) || !mayWrite(target, existing)))
        return false;

    QByteArray bytes;
    for (const char32_t ch : pattern.toUcs4())
        bytes.append(char(Cp1252::encodeChar(ch)));
    bytes.append("\r\n");

    // Written whole beside the target, then renamed over it: every write is
    // checked to its last byte (a short write is a failure, not a shorter
    // file), so the target is either replaced by the complete text or left
    // exactly as it was. A file with several names, or whose owner cannot
    // be kept, is rewritten in place instead.
    const FileSizeSignalIgnored signalIgnored;
    if (exists && existing.st_nlink > 1)
        return writeInPlace(target, existing, bytes);
    bool ownerKept = true;
    if (replaceAtomically(target, exists ? &existing : nullptr, bytes, ownerKept))
        return true;
    return !ownerKept && writeInPlace(target, existing, bytes);
}
