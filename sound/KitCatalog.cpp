#include "sound/KitCatalog.h"

#include "files/CarefulReader.h"
#include "files/CarefulWriter.h"
#include "files/ConfigFile.h"
#include "sound/HydrogenKitReader.h"
#include "sound/KitArchive.h"
#include "sound/KitSounds.h"
#include "sound/SfzKitReader.h"

#include <QDir>
#include <QString>

#include <algorithm>
#include <cstdlib>
#include <set>

#include <sys/stat.h>

namespace {

std::string environment(const char *name)
{
    const char *value = std::getenv(name);
    return value && *value == '/' ? std::string(value) : std::string();
}

std::string home()
{
    const char *value = std::getenv("HOME");
    return value && *value ? std::string(value) : std::string();
}

bool isDirectory(const std::string &path)
{
    struct stat st
    {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isFile(const std::string &path)
{
    struct stat st
    {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool endsWithSfz(const std::string &path)
{
    return QString::fromStdString(path).endsWith(QLatin1String(".sfz"), Qt::CaseInsensitive);
}

constexpr std::size_t kMaxKeysFile = 256 * 1024;

std::string keysFile()
{
    return ConfigFile::path("kit-keys");
}

// The lines of the keys file: "V<tab>instrument<tab>kit's file".
std::vector<std::string> keyLines()
{
    std::string text;
    if (keysFile().empty() || CarefulReader::read(keysFile(), text, kMaxKeysFile) != CarefulReader::Result::Read)
        return {};
    std::vector<std::string> lines;
    for (std::size_t from = 0; from < text.size();) {
        const std::size_t end = std::min(text.find('\n', from), text.size());
        if (end > from)
            lines.push_back(text.substr(from, end - from));
        from = end + 1;
    }
    return lines;
}

// The key's index of a line for the kit of `path`, or -1; `name` set.
int keyOfLine(const std::string &line, const std::string &path, std::string &name)
{
    const std::size_t first = line.find('\t'), second = first == std::string::npos ? first : line.find('\t', first + 1);
    if (first != 1 || second == std::string::npos || line.compare(second + 1, std::string::npos, path) != 0)
        return -1;
    const auto key = std::find(KitSounds::kKeys.begin(), KitSounds::kKeys.end(), std::uint8_t(line[0]));
    if (key == KitSounds::kKeys.end())
        return -1;
    name = line.substr(first + 1, second - first - 1);
    return int(key - KitSounds::kKeys.begin());
}

std::vector<std::string> entriesOf(const std::string &folder, bool folders)
{
    std::vector<std::string> out;
    const QDir dir(QString::fromStdString(folder));
    const auto filter = folders ? QDir::Dirs | QDir::NoDotAndDotDot : QDir::Files;
    for (const QString &name : dir.entryList(filter, QDir::Name))
        out.push_back(folder + "/" + name.toStdString());
    return out;
}

} // namespace

std::vector<std::string> KitCatalog::hydrogenFolders()
{
    std::vector<std::string> folders;
    if (!home().empty())
        folders.push_back(home() + "/.hydrogen/data/drumkits");
    folders.push_back(ownFolder());
    std::string dirs = environment("XDG_DATA_DIRS");
    if (dirs.empty())
        dirs = "/usr/local/share:/usr/share";
    for (const QString &dir : QString::fromStdString(dirs).split(':', Qt::SkipEmptyParts))
        if (dir.startsWith('/'))
            folders.push_back(dir.toStdString() + "/hydrogen/data/drumkits");
    return folders;
}

std::string KitCatalog::ownFolder()
{
    std::string data = environment("XDG_DATA_HOME");
    if (data.empty() && !home().empty())
        data = home() + "/.local/share";
    return data.empty() ? std::string() : data + "/tamvolo/kits";
}

bool KitCatalog::read(const std::string &path, Kit &kit, std::string &why)
{
    return endsWithSfz(path) ? SfzKitReader::readFile(path, kit, why) : HydrogenKitReader::readFile(path, kit, why);
}

std::vector<KitCatalog::Entry> KitCatalog::list()
{
    std::vector<std::string> files;
    for (const std::string &folder : hydrogenFolders()) {
        if (folder.empty() || !isDirectory(folder))
            continue;
        for (const std::string &kit : entriesOf(folder, true)) {
            if (isFile(kit + "/drumkit.xml"))
                files.push_back(kit + "/drumkit.xml");
        }
    }
    if (const std::string own = ownFolder(); !own.empty() && isDirectory(own)) {
        std::vector<std::string> places{own};
        for (const std::string &sub : entriesOf(own, true))
            places.push_back(sub);
        for (const std::string &place : places)
            for (const std::string &file : entriesOf(place, false))
                if (endsWithSfz(file))
                    files.push_back(file);
    }
    std::vector<Entry> entries;
    std::set<std::string> names;
    for (const std::string &file : files) {
        Kit kit;
        std::string why;
        Entry entry;
        entry.path = file;
        if (read(file, kit, why)) {
            entry.name = kit.name;
            entry.author = kit.author;
            entry.license = kit.license;
            entry.instruments = int(kit.instruments.size());
            entry.skipped = int(kit.skipped.size());
        }
        if (entry.name.empty()) {
            const std::string folder = file.substr(0, file.rfind('/'));
            entry.name = folder.substr(folder.rfind('/') + 1);
        }
        if (entry.instruments > 0 && names.insert(QString::fromStdString(entry.name).toLower().toStdString()).second)
            entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
        return QString::fromStdString(a.name).compare(QString::fromStdString(b.name), Qt::CaseInsensitive) < 0;
    });
    return entries;
}

std::string KitCatalog::resolve(const std::string &what)
{
    if (what.empty())
        return {};
    if (isFile(what))
        return what;
    if (isDirectory(what) && isFile(what + "/drumkit.xml"))
        return what + "/drumkit.xml";
    const QString wanted = QString::fromStdString(what);
    for (const Entry &entry : list()) {
        const std::string folder = entry.path.substr(0, entry.path.rfind('/'));
        if (wanted.compare(QString::fromStdString(entry.name), Qt::CaseInsensitive) == 0 ||
            wanted.compare(QString::fromStdString(folder.substr(folder.rfind('/') + 1)), Qt::CaseInsensitive) == 0)
            return entry.path;
    }
    return {};
}

std::string KitCatalog::choiceFile()
{
    return ConfigFile::path("kit");
}

std::string KitCatalog::chosen()
{
    std::string text;
    if (choiceFile().empty() || CarefulReader::read(choiceFile(), text, 4096) != CarefulReader::Result::Read)
        return {};
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

bool KitCatalog::choose(const std::string &path)
{
    const std::string file = choiceFile();
    if (file.empty())
        return false;
    return ConfigFile::write(file, path.empty() ? std::string() : path + "\n") == CarefulWriter::Result::Written;
}

bool KitCatalog::isKitFile(const std::string &path)
{
    return KitArchive::isArchive(path) || endsWithSfz(path) || path == "drumkit.xml" ||
        (path.size() > 12 && path.compare(path.size() - 12, 12, "/drumkit.xml") == 0);
}

std::vector<std::pair<int, std::string>> KitCatalog::keysOf(const std::string &path)
{
    std::vector<std::pair<int, std::string>> keys;
    std::string name;
    for (const std::string &line : keyLines())
        if (const int index = keyOfLine(line, path, name); index >= 0)
            keys.emplace_back(index, name);
    return keys;
}

bool KitCatalog::rememberKey(const std::string &path, int index, const std::string &instrument)
{
    const std::string file = keysFile();
    if (file.empty() || path.empty() || index < 0 || index >= KitSounds::kDrumKeys ||
        path.find('\n') != std::string::npos || instrument.find_first_of("\t\n") != std::string::npos)
        return false;
    std::vector<std::string> lines = keyLines();
    std::string name;
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [&](const std::string &line) { return keyOfLine(line, path, name) == index; }),
                lines.end());
    lines.push_back(std::string(1, char(KitSounds::kKeys[std::size_t(index)])) + '\t' + instrument + '\t' + path);
    // The oldest go first where the file would grow past what is read back.
    std::size_t first = lines.size(), size = 0;
    while (first > 0 && size + lines[first - 1].size() + 1 <= kMaxKeysFile)
        size += lines[--first].size() + 1;
    std::string text;
    for (std::size_t i = first; i < lines.size(); ++i)
        text += lines[i] + '\n';
    return ConfigFile::write(file, text) == CarefulWriter::Result::Written;
}
