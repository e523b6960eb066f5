// Writes a microphone for SDL's disk driver (Microphone.h), for the
// documentation's pictures of the recorder: BEFORE seconds of silence, then
// the left channel of the sample WAV, REPEATS times.
//   microphone_file WAV OUT [BEFORE] [REPEATS]
#include "sound/WavLoader.h"
#include "support/Microphone.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: microphone_file WAV OUT [BEFORE] [REPEATS]\n");
        return 2;
    }
    const auto sample = WavLoader::load(argv[1], 48000);
    if (!sample) {
        std::fprintf(stderr, "microphone_file: %s is not a sound that can be read\n", argv[1]);
        return 1;
    }
    std::vector<float> left(sample->frames());
    for (std::size_t i = 0; i < left.size(); ++i)
        left[i] = sample->at(i, 0);
    const double before = argc > 3 ? std::atof(argv[3]) : 1.0;
    const int repeats = argc > 4 ? std::atoi(argv[4]) : 1;
    if (!writeMicrophone(QString::fromLocal8Bit(argv[2]), left, before, repeats)) {
        std::fprintf(stderr, "microphone_file: %s could not be written\n", argv[2]);
        return 1;
    }
    return 0;
}
