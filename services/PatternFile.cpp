#include "services/PatternFile.h"

#include "files/CarefulReader.h"
#include "files/CarefulWriter.h"
#include "keys/Cp1252.h"

#include <QFile>

#include <cerrno>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The pattern, its break, and one byte to tell CR LF from a lone CR.
constexpr int kMostBytes = PatternFile::kMaxChars + 2;

} // namespace

std::optional<QString> PatternFile::read(const QString &path)
{
    return readNative(QFile::encodeName(path));
}

std::optional<QString> PatternFile::readNative(const QByteArray &native)
{
    if (native.isEmpty() || native.contains('\0'))
        return std::nullopt;
    std::string bytes;
    if (CarefulReader::readStart(native.toStdString(), bytes, kMostBytes) != CarefulReader::Result::Read)
        return std::nullopt;
    // Plainly not a pattern: a NUL byte in the line (no text holds one), or
    // a WAV file.
    const std::string_view head(bytes);
    if (head.substr(0, head.find_first_of("\r\n")).find('\0') != std::string_view::npos || head.starts_with("RIFF"))
        return std::nullopt;
    return parse(bytes.data(), bytes.size());
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

PatternFile::Unread PatternFile::whyUnread(const QByteArray &native)
{
    if (native.isEmpty() || native.contains('\0'))
        return Unread::Missing; // names no file
    struct stat st = {};
    if (::stat(native.constData(), &st) != 0)
        return errno == EACCES ? Unread::NotAllowed : Unread::Missing;
    if (!S_ISREG(st.st_mode))
        return Unread::NotRegular;
    if (::access(native.constData(), R_OK) != 0)
        return Unread::NotAllowed;
    return Unread::NotAPattern;
}

CarefulWriter::Result PatternFile::save(const QString &path, const QString &pattern)
{
    std::string bytes;
    for (const char32_t ch : pattern.toUcs4())
        bytes += char(Cp1252::encodeChar(ch));
    bytes += "\r\n";
    return CarefulWriter::write(QFile::encodeName(path).toStdString(), bytes);
}

bool PatternFile::write(const QString &path, const QString &pattern)
{
    return save(path, pattern) == CarefulWriter::Result::Written;
}
