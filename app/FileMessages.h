#pragma once

#include "files/CarefulWriter.h"
#include "services/PatternFile.h"

#include <QString>

// What the window says of a file it could not read or write, or wrote: what
// failed and why on the first line, the file's path on its own line.
namespace FileMessages {

// `failed` is what could not be done ("Impossibile salvare il pattern").
QString notWritten(const QString &failed, const QString &path, CarefulWriter::Result why);
QString notRead(const QString &failed, const QString &path, PatternFile::Unread why);

// A loop exported to `path`.
QString exported(const QString &path);

} // namespace FileMessages
