#include "sound/SampleIndex.h"

#include "sound/SampleResolver.h"

#include <filesystem>
#include <system_error>

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

// A folder's time stamp this close to now may yet be shared by a change to
// come (file systems that keep whole seconds).
constexpr std::time_t kSettleSeconds = 2;

} // namespace

SampleIndex::SampleIndex(std::string folder)
    : m_folder(std::move(folder))
{}

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

void SampleIndex::readFolderIfChanged()
{
    struct stat st = {};
    if (::stat(m_folder.c_str(), &st) != 0) {
        m_byFoldedName.clear();
        m_read = false;
        return;
    }
    const bool unchanged = m_read && st.st_mtim.tv_sec == m_modified.tv_sec &&
        st.st_mtim.tv_nsec == m_modified.tv_nsec && std::time(nullptr) - st.st_mtim.tv_sec > kSettleSeconds;
    if (unchanged)
        return;

    namespace fs = std::filesystem;
    std::error_code ec;
    fs::directory_iterator it(fs::path(m_folder), ec);
    m_byFoldedName.clear();
    m_read = !ec;
    m_modified = st.st_mtim;
    ++m_reads;
    for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
        const auto status = it->symlink_status(ec);
        if (ec || !fs::is_regular_file(status))
            continue;
        std::string entry = it->path().filename().string();
        auto [slot, added] = m_byFoldedName.try_emplace(folded(entry), entry);
        if (!added && entry < slot->second)
            slot->second = std::move(entry);
    }
}

std::optional<std::string> SampleIndex::resolve(std::string_view samplePath)
{
    if (m_folder.empty() || m_folder.back() != '/' || !samplePath.starts_with(m_folder))
        return std::nullopt;
    const auto wanted = SampleResolver::fileNameFor(samplePath.substr(m_folder.size()));
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
