#pragma once

#include <QString>

#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// Finds sample files in one folder, by the rules of SampleResolver, cheaply
// enough for a folder of a hundred thousand files.
//
// A name that exists as it is spelt is answered with one attempt to open it,
// without looking at the folder. Otherwise the folder's names, folded for
// case and composition, are looked up in an index kept between requests. The
// index is read again when the folder changes (its modification time), and
// while that time is too recent to tell changes apart, so a file added,
// renamed or replaced plays at its next request.
// Used by one thread at a time.
class SampleIndex
{
public:
    // `folder` ends with '/'.
    explicit SampleIndex(std::string folder);

    // The path of the file that `samplePath` names, or nothing.
    std::optional<std::string> resolve(std::string_view samplePath);

    const std::string &folder() const { return m_folder; }
    // How often the folder has been read.
    int reads() const { return m_reads; }

private:
    bool isRegularFile(const std::string &path) const;
    void readFolderIfChanged();

    std::string m_folder;
    std::map<QString, std::string> m_byFoldedName; // folded name -> lowest file name
    bool m_read = false;
    std::timespec m_modified{};
    int m_reads = 0;
};
