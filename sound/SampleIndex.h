#pragma once

#include <QString>

#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// Finds the file a sample path names, the way the platform's sound lookup
// would on a case-insensitive file system, confined to one folder, cheaply
// enough for a folder of a hundred thousand files.
//
// The sample path is the sample folder followed by a name. The name
// - gets ".wav" when it has no extension of its own;
// - matches file names regardless of letter case, accented letters included,
//   and regardless of Unicode composition ("È" finds "è.wav");
// - finds nothing when it is empty, is made of dots only, or holds a path
//   separator ('/' or '\') or a NUL, so no name reaches outside the folder;
// - finds only regular files directly inside the folder (no symbolic links).
// An exact match wins over a case-insensitive one; among several
// case-insensitive matches the lowest file name in byte order wins.
//
// A name that exists as it is spelt is answered with one attempt to open it,
// without looking at the folder. Otherwise the folder's names, folded for
// case and composition, are looked up in an index kept between requests. The
// index is read again when the folder changes (its modification time), and
// while that time was too recent to tell changes apart when it was read, so
// a file added, renamed or replaced plays at its next request. A time stamp
// in the future does not count as recent: any change moves it.
//
// Reading::InBackground (the sample bank): a request never waits for a large
// folder. A folder of up to kQuickEntries entries is read at once; a larger
// one is read on a helper thread while the index as it was answers (nothing,
// the first time), and the new index is taken up by the first request after
// the read ends. One read at a time. Reading::Here reads every folder at
// once (the recorder, the export).
//
// Used by one thread at a time.
class SampleIndex
{
public:
    enum class Reading { InBackground, Here };
    static constexpr std::size_t kQuickEntries = 512;

    // `folder` ends with '/'.
    explicit SampleIndex(std::string folder, Reading reading = Reading::InBackground);
    ~SampleIndex();

    SampleIndex(SampleIndex &&) noexcept;
    SampleIndex &operator=(SampleIndex &&) noexcept;

    // The path of the file that `samplePath` names, or nothing when it does
    // not lie in the folder or names no file.
    std::optional<std::string> resolve(std::string_view samplePath);

    // The file name a sample name is looked up as ("V" -> "V.wav"), or
    // nothing for a name that can never name a file in the folder.
    static std::optional<std::string> fileNameFor(std::string_view name);

    const std::string &folder() const { return m_folder; }
    // How often a read of the folder has ended (and its index was taken up).
    int reads() const { return m_reads; }

private:
    using Names = std::map<QString, std::string>; // folded name -> lowest file name
    struct Pending;

    bool isRegularFile(const std::string &path) const;
    void readFolderIfChanged();
    void takeUpPendingRead();

    std::string m_folder;
    Reading m_reading;
    Names m_byFoldedName;
    bool m_read = false;
    std::timespec m_modified{};
    std::time_t m_readAt = 0;
    int m_reads = 0;
    std::shared_ptr<Pending> m_pending; // a read on the helper thread
};
