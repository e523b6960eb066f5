#pragma once

#include "files/CarefulWriter.h"
#include "keys/PatternLength.h"

#include <QString>

#include <optional>

// The pattern as a text file: Windows-1252, one byte a character, the
// pattern followed by CR LF.
//
// read() takes the text up to the first line break (CR, LF or CR LF), cut to
// kMaxChars characters, and never reads more than those and the break: a huge
// file costs nothing, and anything that is not a regular file (a folder, a
// named pipe, a device) is refused without waiting on it. So is a file that
// is plainly not a pattern: a NUL before the line break, or a WAV file's
// "RIFF" header. A file of zero bytes reads as the empty pattern.
//
// write() goes through the careful writer (files/CarefulWriter.h): the file
// is replaced whole or not at all, links followed where the system would
// follow them, hard links and owners kept, anything but a regular file
// refused. Characters outside Windows-1252 are written as "?".
//
// A name holding a NUL names no file.
class PatternFile
{
public:
    static constexpr int kMaxChars = PatternLength::kSteps;

    // The pattern in the file, or nothing when it cannot be read.
    static std::optional<QString> read(const QString &path);
    // The same for a name as the system gives it, byte for byte (a name in
    // Latin-1 from an old archive, which no QString holds).
    static std::optional<QString> readNative(const QByteArray &nativePath);

    // The pattern that the bytes of a file stand for (up to the first line
    // break, at most kMaxChars characters).
    static QString parse(const char *bytes, std::size_t size);

    // Why readNative() gave nothing, asked after it did (for telling the
    // user; the file may have changed in between).
    enum class Unread { Missing, NotAllowed, NotRegular, NotAPattern };
    static Unread whyUnread(const QByteArray &nativePath);

    // Written when the file now holds `pattern` and its line break; else
    // why not, the file as it was.
    static CarefulWriter::Result save(const QString &path, const QString &pattern);
    // True when save() wrote it.
    static bool write(const QString &path, const QString &pattern);
};
