#include "PatternFile.h"

#include "Cp1252.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The pattern, its break, and one byte to tell CR LF from a lone CR.
constexpr int kMostBytes = PatternFile::kMaxChars + 2;

// The permissions a new file gets: read and write for all, less the umask.
mode_t newFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

std::optional<QString> PatternFile::read(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    // Without O_NONBLOCK, opening a named pipe would wait for a writer.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat st{};
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
    const QByteArray target = QFile::encodeName(path);
    struct stat existing{};
    const bool exists = ::stat(target.constData(), &existing) == 0;
    if (exists && (!S_ISREG(existing.st_mode) || (existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0))
        return false;

    QByteArray bytes;
    for (const char32_t ch : pattern.toUcs4())
        bytes.append(char(Cp1252::encodeChar(ch)));
    bytes.append("\r\n");

    // Written whole beside the target, then renamed over it: every write is
    // checked to its last byte (a short write is a failure, not a shorter
    // file), so the target is either replaced by the complete text or left
    // exactly as it was.
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    QByteArray temporary = folder + "/.tamvolo-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return false;
    bool ok = true;
    for (qsizetype done = 0; ok && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (!(n < 0 && errno == EINTR))
            ok = false;
    }
    const mode_t mode = exists ? existing.st_mode & 07777 : newFileMode();
    ok = ok && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.constData(), target.constData()) == 0;
    if (!ok)
        ::unlink(temporary.constData());
    return ok;
}
