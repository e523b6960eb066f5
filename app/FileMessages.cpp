#include "app/FileMessages.h"

namespace {

QString reason(CarefulWriter::Result why)
{
    using R = CarefulWriter::Result;
    switch (why) {
    case R::Written:
        break;
    case R::NotRegular:
        return QStringLiteral("non è un file normale");
    case R::NotAllowed:
        return QStringLiteral("permesso negato");
    case R::NoFolder:
        return QStringLiteral("la cartella non esiste");
    case R::NoSpace:
        return QStringLiteral("il disco è pieno");
    case R::TooBig:
        return QStringLiteral("il file supera la dimensione consentita");
    case R::WriteFailed:
        break;
    }
    return QStringLiteral("errore di scrittura");
}

QString reason(PatternFile::Unread why)
{
    using U = PatternFile::Unread;
    switch (why) {
    case U::Missing:
        return QStringLiteral("il file non esiste");
    case U::NotAllowed:
        return QStringLiteral("permesso negato");
    case U::NotRegular:
        return QStringLiteral("non è un file normale");
    case U::NotAPattern:
        break;
    }
    return QStringLiteral("il file non contiene un pattern di Tamvolo");
}

QString message(const QString &failed, const QString &why, const QString &path)
{
    return QStringLiteral("%1: %2.\n%3").arg(failed, why, path);
}

} // namespace

QString FileMessages::notWritten(const QString &failed, const QString &path, CarefulWriter::Result why)
{
    return message(failed, reason(why), path);
}

QString FileMessages::notRead(const QString &failed, const QString &path, PatternFile::Unread why)
{
    return message(failed, reason(why), path);
}

QString FileMessages::exported(const QString &path)
{
    return QStringLiteral("Loop esportato in:\n%1").arg(path);
}
