#pragma once

#include <QString>

#include <optional>

// The pattern as a text file: Windows-1252, one byte a character, the
// pattern followed by CR LF.
//
// read() takes the text up to the first line break (CR, LF or CR LF), cut to
// kMaxChars characters, and never reads more than those and the break: a huge
// file costs nothing, and anything that is not a regular file (a folder, a
// named pipe, a device) is refused without waiting on it. A file of zero
// bytes reads as the empty pattern.
//
// write() replaces the file as a whole or not at all: it writes beside it,
// with the old file's owner, group and mode, checks every byte went out, and
// renames over it, so a failure at any step leaves an existing file exactly
// as it was. Through a symbolic link it writes the file the link leads to. A
// file with more names than one (hard links), or whose owner this user
// cannot give a new file, is rewritten in place, as careful editors do, so
// that every name and the owner stay. A file this user may not write (for
// root: one with no write bit for anyone) is left alone, as is anything that
// is not a regular file. A file-size limit makes the write fail, not the
// program. Characters outside Windows-1252 are written as "?".
class PatternFile
{
public:
    static constexpr int kMaxChars = 7;

    // The pattern in the file, or nothing when it cannot be read.
    static std::optional<QString> read(const QString &path);

    // The pattern that the bytes of a file stand for (up to the first line
    // break, at most kMaxChars characters).
    static QString parse(const char *bytes, std::size_t size);

    // True when the file now holds `pattern` and its line break.
    static bool write(const QString &path, const QString &pattern);
};
