#include "sound/KitArchive.h"

#include "files/CarefulReader.h"
#include "files/CarefulWriter.h"
#include "sound/Kit.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QString>

#include <archive.h>
#include <archive_entry.h>

#include <array>
#include <cstdio>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

Q_LOGGING_CATEGORY(lcKit, "tamvolo.kit", QtWarningMsg)

constexpr const char *kHidden = ".unpacking-";

QString text(const std::string &s)
{
    return QString::fromStdString(s);
}

struct ReadArchive
{
    void operator()(archive *a) const { archive_read_free(a); }
};

// The archive's file, closed when it goes (libarchive reads it, never closes it).
struct OpenFile
{
    int fd = -1;
    ~OpenFile()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// A hidden folder of an unpacking that a kill cut short, an hour old or more.
void removeLeftovers(const QString &kits)
{
    const QDir dir(kits);
    const auto old = QDateTime::currentDateTime().addSecs(-3600);
    for (const QFileInfo &info :
         dir.entryInfoList({QString::fromLatin1(kHidden) + '*'}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot))
        if (info.lastModified() < old)
            QDir(info.filePath()).removeRecursively();
}

// Where the unpacked kit's drumkit.xml is: the folder itself or one of its
// folders; empty if none.
QString kitFolderIn(const QString &folder)
{
    if (QFileInfo(folder + QStringLiteral("/drumkit.xml")).isFile())
        return folder;
    for (const QString &sub : QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        if (QFileInfo(folder + '/' + sub + QStringLiteral("/drumkit.xml")).isFile())
            return folder + '/' + sub;
    return {};
}

bool sameFile(const QString &a, const QString &b)
{
    std::string x, y;
    return CarefulReader::read(a.toStdString(), x, 4 * 1024 * 1024) == CarefulReader::Result::Read &&
        CarefulReader::read(b.toStdString(), y, 4 * 1024 * 1024) == CarefulReader::Result::Read && x == y;
}

std::string broken(archive *a)
{
    const char *error = archive_error_string(a);
    return std::string("l'archivio è rotto (") + (error ? error : "?") + ")";
}

// Reads the entry's data, at most `most` bytes; false on a
// broken archive (`why` said).
bool readData(archive *a, long long most, std::string &data, bool &tooBig, std::string &why)
{
    data.clear();
    tooBig = false;
    std::array<char, 64 * 1024> buffer{};
    for (;;) {
        const la_ssize_t got = archive_read_data(a, buffer.data(), buffer.size());
        if (got == 0)
            return true;
        if (got < 0) {
            why = broken(a);
            return false;
        }
        if ((long long)(data.size() + std::size_t(got)) > most) {
            tooBig = true;
            if (archive_read_data_skip(a) == ARCHIVE_OK)
                return true;
            why = broken(a);
            return false;
        }
        data.append(buffer.data(), std::size_t(got));
    }
}

} // namespace

bool KitArchive::isArchive(const std::string &path)
{
    return text(path).endsWith(QLatin1String(".h2drumkit"), Qt::CaseInsensitive);
}

std::string KitArchive::unpack(const std::string &path, const std::string &kits, std::string &why,
                               std::vector<std::string> *skipped, const Limits &limits)
{
    const auto skip = [&](const std::string &line) {
        qCDebug(lcKit) << "archive" << path.c_str() << "skipped:" << line.c_str();
        if (skipped)
            skipped->push_back(line);
    };
    // Opened without waiting (a named pipe would never answer), a regular file alone.
    const OpenFile file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    struct stat st
    {};
    if (file.fd < 0 || ::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        why = "non è un file che si possa leggere";
        return {};
    }
    if (kits.empty() || !QDir().mkpath(text(kits))) {
        why = "la cartella dei kit non si crea";
        return {};
    }
    removeLeftovers(text(kits));
    std::string hidden = kits + "/" + kHidden + "XXXXXX";
    if (!::mkdtemp(hidden.data())) {
        why = "la cartella dei kit non si scrive";
        return {};
    }
    const QString temp = text(hidden);
    const auto fail = [&](std::string reason) {
        QDir(temp).removeRecursively();
        why = std::move(reason);
        qCDebug(lcKit) << "archive" << path.c_str() << "not unpacked:" << why.c_str();
        return std::string();
    };

    const std::unique_ptr<archive, ReadArchive> reading(archive_read_new());
    archive *a = reading.get();
    archive_read_support_filter_gzip(a);
    archive_read_support_filter_bzip2(a);
    archive_read_support_filter_xz(a);
    archive_read_support_format_tar(a);
    if (archive_read_open_fd(a, file.fd, 64 * 1024) != ARCHIVE_OK)
        return fail("non è un archivio tar");
    int entries = 0;
    long long total = 0;
    std::string data;
    archive_entry *entry = nullptr;
    int status = ARCHIVE_OK;
    while ((status = archive_read_next_header(a, &entry)) == ARCHIVE_OK || status == ARCHIVE_WARN) {
        if (++entries > limits.entries)
            return fail("più di " + std::to_string(limits.entries) + " file");
        const char *raw = archive_entry_pathname(entry);
        std::string name = raw ? raw : "";
        while (name.size() >= 2 && name.compare(0, 2, "./") == 0)
            name.erase(0, 2);
        while (!name.empty() && name.back() == '/')
            name.pop_back();
        if (name.empty() || name == ".")
            continue;
        if (Kit::inFolder(std::string(), name).empty())
            return fail("un file fuori dalla cartella del kit (" + name + ")");
        const QString target = temp + '/' + text(name);
        if (archive_entry_filetype(entry) == AE_IFDIR) {
            QDir().mkpath(target);
            continue;
        }
        if (archive_entry_filetype(entry) != AE_IFREG || archive_entry_hardlink(entry)) {
            skip(name + ": non è un file (un collegamento?)");
            continue;
        }
        if (archive_entry_size_is_set(entry) && archive_entry_size(entry) > limits.fileBytes) {
            skip(name + ": troppo grande");
            continue;
        }
        bool tooBig = false;
        if (!readData(a, limits.fileBytes, data, tooBig, why))
            return fail(why);
        if (tooBig) {
            skip(name + ": troppo grande");
            continue;
        }
        total += (long long)data.size();
        if (total > limits.bytes)
            return fail("più di " + std::to_string(limits.bytes >> 20) + " MB in tutto");
        QDir().mkpath(QFileInfo(target).path());
        if (CarefulWriter::write(target.toStdString(), data, CarefulWriter::Links::Replace) !=
            CarefulWriter::Result::Written)
            return fail("«" + name + "» non si scrive");
    }
    if (status != ARCHIVE_EOF)
        return fail(broken(a));

    const QString found = kitFolderIn(temp);
    if (found.isEmpty())
        return fail("nell'archivio non c'è un drumkit.xml");
    QString base = found == temp ? QFileInfo(text(path)).completeBaseName() : QFileInfo(found).fileName();
    while (base.startsWith('.'))
        base.remove(0, 1);
    if (base.isEmpty())
        base = QStringLiteral("kit");
    for (int n = 1; n < 100; ++n) {
        const QString place = text(kits) + '/' + (n == 1 ? base : QStringLiteral("%1 %2").arg(base).arg(n));
        if (QFileInfo::exists(place)) {
            if (sameFile(place + QStringLiteral("/drumkit.xml"), found + QStringLiteral("/drumkit.xml"))) {
                QDir(temp).removeRecursively();
                qCDebug(lcKit) << "archive" << path.c_str() << "already unpacked in" << place;
                return (place + QStringLiteral("/drumkit.xml")).toStdString();
            }
            continue;
        }
        if (std::rename(found.toLocal8Bit().constData(), place.toLocal8Bit().constData()) != 0)
            return fail("la cartella dei kit non si scrive");
        QDir(temp).removeRecursively();
        qCDebug(lcKit) << "archive" << path.c_str() << "unpacked in" << place << entries << "entries," << total
                       << "bytes";
        return (place + QStringLiteral("/drumkit.xml")).toStdString();
    }
    return fail("la cartella dei kit ha già 99 kit con quel nome");
}
