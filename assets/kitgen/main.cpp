// Writes the sample kit into the folder given on the command line.
#include "KitSynth.h"
#include "WavWriter.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    for (const KitSynth::Sound &sound : KitSynth::all()) {
        const std::string path = (folder / sound.file).string();
        if (!WavWriter::write(path, sound.samples, KitSynth::kRate)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
