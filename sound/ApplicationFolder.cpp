#include "sound/ApplicationFolder.h"

#include <filesystem>
#include <system_error>

std::string applicationFolder()
{
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    return exe.parent_path().string();
}
