#pragma once

#include <string>
#include <vector>

// A Hydrogen drumkit packed as a .h2drumkit file (a tar archive, gzip'd),
// unpacked into a folder of kits (KitCatalog::ownFolder()) so that it plays
// and is listed like any kit there.
//
// - Only folders and regular files are written, each through the careful
//   writer; links, devices and the like are skipped and said.
// - Every name stays inside the kit's folder: an absolute name or one
//   through ".." is refused, and so is the whole archive, nothing written.
// - Bounded: at most kMaxEntries entries, kMaxFileBytes a file and
//   kMaxBytes in all (or the Limits given), as the archive's headers state
//   them and as read; a file over its bound is left out and said.
// - The kit is unpacked beside its place under a hidden name and moved there
//   whole, so a failure or a kill leaves no half kit in the list. Its folder
//   is named after the archive's own top folder; where a kit of that name is
//   already there with the same drumkit.xml, that one is used; otherwise
//   the new one gets a free name ("Kit 2"...).
//
// Blocks on files; any thread but the audio thread.
namespace KitArchive {

constexpr int kMaxEntries = 10000;
constexpr long long kMaxFileBytes = 256LL * 1024 * 1024;
constexpr long long kMaxBytes = 2LL * 1024 * 1024 * 1024;

struct Limits
{
    int entries = kMaxEntries;
    long long fileBytes = kMaxFileBytes;
    long long bytes = kMaxBytes;
};

// Whether `path` names a .h2drumkit by its ending.
bool isArchive(const std::string &path);

// Unpacks `archive` into `kits` (created if missing). Returns the kit's
// drumkit.xml, or empty with `why` said (in Italian, for the user). What
// was skipped is added to `skipped`, a line each.
std::string unpack(const std::string &archive, const std::string &kits, std::string &why,
                   std::vector<std::string> *skipped = nullptr, const Limits &limits = {});

} // namespace KitArchive
