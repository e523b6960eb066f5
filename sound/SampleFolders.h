#pragma once

#include <string>
#include <vector>

// Where samples are looked for, each with a trailing '/'. Asked of the
// system on every call: the program may have been moved, and the user's
// folder may come and go. Any thread.
namespace SampleFolders {

// The samples that come with the program: "<folder of the program>/voc/" in
// a build, "<folder of the program>/../share/tamvolo/voc/" where installed.
std::string program();
// The user's own samples: "$XDG_DATA_HOME/tamvolo/voc/", by default
// "~/.local/share/tamvolo/voc/"; empty when there is no home to tell.
std::string user();
// The user's folder (where there is one), then the program's: the first
// that has a name wins.
std::vector<std::string> defaults();

} // namespace SampleFolders
