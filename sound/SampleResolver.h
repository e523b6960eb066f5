#pragma once

#include <optional>
#include <string>
#include <string_view>

// Finds the file a sample path names, the way the platform's sound lookup
// would on a case-insensitive file system, confined to one folder.
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
class SampleResolver
{
public:
    // `sampleFolder` ends with '/'. Returns the path of the file found, or
    // nothing when `samplePath` does not lie in the folder or names no file.
    // Reads the folder afresh when needed; SampleIndex keeps it between calls.
    static std::optional<std::string> resolve(std::string_view samplePath, std::string_view sampleFolder);

    // The file name a sample name is looked up as ("V" → "V.wav"), or nothing
    // for a name that can never name a file in the folder.
    static std::optional<std::string> fileNameFor(std::string_view name);
};
