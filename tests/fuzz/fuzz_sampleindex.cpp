// libFuzzer target: any bytes as a sample name, looked up in a folder that
// holds samples, odd names, a link, a subfolder and a file beside it. Whatever
// is found must be a regular file directly inside the folder.
#include "sound/SampleIndex.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string g_folder;
std::unique_ptr<SampleIndex> g_index;

void touch(const std::string &path)
{
    if (FILE *f = std::fopen(path.c_str(), "w"))
        std::fclose(f);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    char root[] = "/tmp/tamvolo-fuzz-XXXXXX";
    if (!::mkdtemp(root))
        std::abort();
    g_folder = std::string(root) + "/voc/";
    ::mkdir(g_folder.c_str(), 0700);
    for (const char *name : {"v.wav", "J.wav", "Laser.wav", "\xc3\xa8.wav", "o\xcc\x80.wav", "DUP.wav", "dup.wav",
                             "noext", "a.b.wav", " .wav", "..wav"})
        touch(g_folder + name);
    ::mkdir((g_folder + "sub.wav").c_str(), 0700);
    touch(g_folder + "sub.wav/x.wav");
    touch(std::string(root) + "/outside.wav");
    if (::symlink((std::string(root) + "/outside.wav").c_str(), (g_folder + "link.wav").c_str()) != 0)
        std::abort();
    g_index = std::make_unique<SampleIndex>(g_folder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string path = g_folder + std::string(reinterpret_cast<const char *>(data), size);
    const auto found = g_index->resolve(path);
    if (!found)
        return 0;
    struct stat st = {};
    const std::string rest = found->substr(g_folder.size());
    if (found->compare(0, g_folder.size(), g_folder) != 0 || rest.empty() || rest.find('/') != std::string::npos ||
        ::lstat(found->c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        __builtin_trap();
    return 0;
}
