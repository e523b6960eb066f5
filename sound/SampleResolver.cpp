#include "SampleResolver.h"

#include <QString>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

QString folded(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()))
        .normalized(QString::NormalizationForm_C)
        .toCaseFolded();
}

} // namespace

std::optional<std::string> SampleResolver::fileNameFor(std::string_view name)
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

std::optional<std::string> SampleResolver::resolve(std::string_view samplePath,
                                                   std::string_view sampleFolder)
{
    if (sampleFolder.empty() || sampleFolder.back() != '/' || !samplePath.starts_with(sampleFolder))
        return std::nullopt;
    const auto wanted = fileNameFor(samplePath.substr(sampleFolder.size()));
    if (!wanted)
        return std::nullopt;

    namespace fs = std::filesystem;
    std::error_code ec;
    fs::directory_iterator it(fs::path(std::string(sampleFolder)), ec);
    if (ec)
        return std::nullopt;

    const QString wantedFolded = folded(*wanted);
    std::optional<std::string> best;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec)
            break;
        const auto status = it->symlink_status(ec);
        if (ec || !fs::is_regular_file(status))
            continue;
        const std::string entry = it->path().filename().string();
        if (entry == *wanted)
            return std::string(sampleFolder) + entry;
        if (folded(entry) == wantedFolded && (!best || entry < *best))
            best = entry;
    }
    if (!best)
        return std::nullopt;
    return std::string(sampleFolder) + *best;
}
