#pragma once

#include <cstddef>
#include <string>

// Every small file the program reads whole goes through here (the pattern
// files, the samples, the MIDI map): a regular file, read without ever
// waiting on one that does not answer, up to a size limit.
//
// The file is opened without blocking (a named pipe would otherwise wait for
// a writer), then refused unless it is a regular file of at most `maxBytes`;
// with Links::Refuse a symbolic link is refused too (a file in a folder of
// samples that must not reach elsewhere).
//
// Plain POSIX, usable from any thread.
namespace CarefulReader {

enum class Links { Follow, Refuse };

enum class Result {
    Read,
    Missing,    // no such file, or a folder on the way is missing
    NotRegular, // a device, a named pipe, a folder, a link refused
    NotAllowed, // no permission
    TooBig,     // over maxBytes
    ReadFailed, // anything else the system refused
};

Result read(const std::string &path, std::string &bytes, std::size_t maxBytes, Links links = Links::Follow);

// The same for the first `maxBytes` of a file of any size (a pattern file's
// line): a longer file is not refused, only read no further.
Result readStart(const std::string &path, std::string &bytes, std::size_t maxBytes, Links links = Links::Follow);

} // namespace CarefulReader
