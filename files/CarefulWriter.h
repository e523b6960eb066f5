#pragma once

#include <string>
#include <string_view>

// Every file the program writes goes through here: pattern files, exported
// loops, the recorder's takes.
//
// write() replaces the file as a whole or not at all: it writes beside it,
// with the old file's owner, group and mode, checks every byte went out,
// flushes and renames over it, so a failure at any step leaves an existing
// file exactly as it was. A file with more names than one (hard links), or
// whose owner this user cannot give a new file, is rewritten in place, as
// careful editors do, so that every name and the owner stay. What a write
// killed half way left beside it (a hidden ".tamvolo-XXXXXX" of this user's,
// ten minutes old) goes at the next write in that folder.
//
// Refused, the file untouched:
// - anything that is not a regular file (a device, a named pipe, a folder);
// - a file this user may not write (for root: one with no write bit at all);
// - a name holding a NUL;
// - a symbolic link the system would not let this user follow for opening:
//   one in a sticky, world-writable folder (/tmp) that belongs neither to this
//   user nor to the folder's owner (what the kernel's protected_symlinks
//   applies to opens; the writer replaces by rename, which it does not see).
//
// A file-size limit (RLIMIT_FSIZE) makes the write fail, not the program:
// SIGXFSZ is ignored for the whole process, from the start (main() calls
// ignoreFileSizeSignal()) and again at every write.
//
// Plain POSIX, usable from any thread; nothing waits on a file that does not
// answer (a named pipe is never opened for writing).
namespace CarefulWriter {

enum class Links {
    Follow,  // a link's target is written (a pattern file kept elsewhere)
    Replace, // the link itself is replaced by the file (a sample folder)
};

enum class Result {
    Written,
    NotRegular,  // a device, a named pipe, a folder, a loop of links
    NotAllowed,  // no permission, a read-only disk, or a link that is not to be followed
    NoFolder,    // the folder it goes in does not exist
    NoSpace,     // the disk (or the user's quota) is full
    TooBig,      // over the process's file-size limit
    WriteFailed, // anything else the system refused
};

Result write(const std::string &path, std::string_view bytes, Links links = Links::Follow);

// Removes what a write killed half way left in `folder`: this user's
// ".tamvolo-XXXXXX" files (never links) untouched for ten minutes, so that a
// write under way in another process is never one of them. Done at every
// write in that folder, and at start for the folders the program writes in.
void removeLeftovers(const std::string &folder);
// Ignores SIGXFSZ for the whole process; any thread, any time.
void ignoreFileSizeSignal();

} // namespace CarefulWriter
