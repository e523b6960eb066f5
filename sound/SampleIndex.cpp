#include "sound/SampleIndex.h"

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString folded(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()))
        .normalized(QString::NormalizationForm_C)
        .toCaseFolded();
}

// A folder's time stamp this close to the time it was read may yet be shared
// by a change to come (file systems that keep whole seconds).
constexpr std::time_t kSettleSeconds = 2;

// The folder's regular files by folded name; false when it could not be read
// or has more than `most` entries.
bool readNames(const std::string &folder, std::size_t most, std::map<QString, std::string> &names)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::directory_iterator it(fs::path(folder), ec);
    names.clear();
    std::size_t seen = 0;
    for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
        if (++seen > most)
            return false;
        const auto status = it->symlink_status(ec);
        if (ec || !fs::is_regular_file(status))
            continue;
        std::string entry = it->path().filename().string();
        auto [slot, added] = names.try_emplace(folded(entry), entry);
        if (!added && entry < slot->second)
            slot->second = std::move(entry);
    }
    return !ec;
}

} // namespace

struct SampleIndex::Pending
{
    std::mutex mutex;
    bool done = false;
    bool ok = false;
    Names names;
    std::timespec modified{};
    std::time_t readAt = 0;
};

SampleIndex::SampleIndex(std::string folder, Reading reading)
    : m_folder(std::move(folder))
    , m_reading(reading)
{}

SampleIndex::~SampleIndex() = default; // a read under way finishes on its own
SampleIndex::SampleIndex(SampleIndex &&) noexcept = default;
SampleIndex &SampleIndex::operator=(SampleIndex &&) noexcept = default;

bool SampleIndex::isRegularFile(const std::string &path) const
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st = {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return regular;
}

void SampleIndex::takeUpPendingRead()
{
    if (!m_pending)
        return;
    const std::lock_guard lock(m_pending->mutex);
    if (!m_pending->done)
        return;
    // The index it replaces may hold a hundred thousand names: freed on a
    // thread of its own, not on the way of a request.
    std::thread([old = std::move(m_byFoldedName)] {}).detach();
    m_byFoldedName = std::move(m_pending->names);
    m_read = m_pending->ok;
    m_modified = m_pending->modified;
    m_readAt = m_pending->readAt;
    ++m_reads;
    m_pending.reset();
}

void SampleIndex::readFolderIfChanged()
{
    takeUpPendingRead();
    struct stat st = {};
    if (::stat(m_folder.c_str(), &st) != 0) {
        m_byFoldedName.clear();
        m_read = false;
        return;
    }
    const std::time_t stamp = st.st_mtim.tv_sec;
    const bool settled = stamp + kSettleSeconds < m_readAt || stamp > m_readAt + kSettleSeconds;
    const bool unchanged = m_read && stamp == m_modified.tv_sec && st.st_mtim.tv_nsec == m_modified.tv_nsec && settled;
    if (unchanged || m_pending)
        return;

    const std::time_t readAt = std::time(nullptr);
    Names names;
    const std::size_t most = m_reading == Reading::Here ? SIZE_MAX : kQuickEntries;
    if (readNames(m_folder, most, names)) {
        m_byFoldedName = std::move(names);
        m_read = true;
        m_modified = st.st_mtim;
        m_readAt = readAt;
        ++m_reads;
        return;
    }
    if (m_reading == Reading::Here) {
        m_byFoldedName.clear();
        m_read = false;
        return;
    }
    // Too large to read here: the helper reads it, the index as it is answers.
    m_pending = std::make_shared<Pending>();
    std::thread([pending = m_pending, folder = m_folder, modified = st.st_mtim, readAt] {
        Names read;
        const bool ok = readNames(folder, SIZE_MAX, read);
        const std::lock_guard lock(pending->mutex);
        pending->names = std::move(read);
        pending->ok = ok;
        pending->modified = modified;
        pending->readAt = readAt;
        pending->done = true;
    }).detach();
}

std::optional<std::string> SampleIndex::fileNameFor(std::string_view name)
{
    if (name.empty())
        return std::nullopt;
    if (name.find_first_of(std::string_view("/\\\0", 3)) != std::string_view::npos)
        return std::nullopt;
    if (std::all_of(name.begin(), name.end(), [](char c) { return c == '.'; }))
        return std::nullopt;

    const auto dot = name.rfind('.');
    const bool hasExtension = dot != std::string_view::npos && dot > 0 && dot + 1 < name.size();
    std::string file(name);
    if (!hasExtension)
        file += ".wav";
    return file;
}

std::optional<std::string> SampleIndex::resolve(std::string_view samplePath)
{
    if (m_folder.empty() || m_folder.back() != '/' || !samplePath.starts_with(m_folder))
        return std::nullopt;
    const auto wanted = fileNameFor(samplePath.substr(m_folder.size()));
    if (!wanted)
        return std::nullopt;

    std::string exact = m_folder + *wanted;
    if (isRegularFile(exact))
        return exact;

    readFolderIfChanged();
    const auto found = m_byFoldedName.find(folded(*wanted));
    if (found == m_byFoldedName.end())
        return std::nullopt;
    return m_folder + found->second;
}
