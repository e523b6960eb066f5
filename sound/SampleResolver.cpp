#include "sound/SampleResolver.h"

#include "sound/SampleIndex.h"

#include <algorithm>

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

std::optional<std::string> SampleResolver::resolve(std::string_view samplePath, std::string_view sampleFolder)
{
    return SampleIndex(std::string(sampleFolder), SampleIndex::Reading::Here).resolve(samplePath);
}
