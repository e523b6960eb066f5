#include "sound/SampleFolders.h"

#include "sound/ApplicationFolder.h"

#include <cstdlib>

#include <sys/stat.h>

std::string SampleFolders::program()
{
    // Beside the program in a build, in share/ where it is installed.
    const std::string folder = applicationFolder();
    struct stat st = {};
    if (::stat((folder + "/voc").c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return folder + "/voc/";
    return folder + "/../share/tamvolo/voc/";
}

std::string SampleFolders::user()
{
    // A relative XDG_DATA_HOME is to be ignored, as an unset one.
    const char *data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/')
        return std::string(data) + "/tamvolo/voc/";
    const char *home = std::getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/.local/share/tamvolo/voc/";
    return {};
}

std::vector<std::string> SampleFolders::defaults()
{
    std::vector<std::string> folders;
    if (std::string own = user(); !own.empty())
        folders.push_back(std::move(own));
    folders.push_back(program());
    return folders;
}
