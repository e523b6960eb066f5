#include "files/ConfigFile.h"

#include <cstdlib>

#include <sys/stat.h>

std::string ConfigFile::path(std::string_view name)
{
    const char *config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config == '/')
        return std::string(config) + "/tamvolo/" + std::string(name);
    const char *home = std::getenv("HOME");
    return home && *home ? std::string(home) + "/.config/tamvolo/" + std::string(name) : std::string();
}

CarefulWriter::Result ConfigFile::write(const std::string &file, std::string_view bytes)
{
    const std::string folder = file.substr(0, file.rfind('/'));
    ::mkdir(folder.substr(0, folder.rfind('/')).c_str(), 0700);
    ::mkdir(folder.c_str(), 0700);
    return CarefulWriter::write(file, bytes);
}
