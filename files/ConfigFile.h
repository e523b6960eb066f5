#pragma once

#include "files/CarefulWriter.h"

#include <string>
#include <string_view>

// The program's settings files: $XDG_CONFIG_HOME/tamvolo/NAME, by default
// ~/.config/tamvolo/NAME. Plain POSIX, any thread, never blocks on anything
// but the disk.
namespace ConfigFile {

// The path of the settings file `name`; empty where neither XDG_CONFIG_HOME
// (absolute) nor HOME is set.
std::string path(std::string_view name);

// Writes `bytes` to `file` through the careful writer, the folders it goes
// in made first where missing (private to the user).
CarefulWriter::Result write(const std::string &file, std::string_view bytes);

} // namespace ConfigFile
