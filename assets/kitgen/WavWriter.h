#pragma once

#include <string>
#include <vector>

// Writes mono 16-bit PCM WAV files.
class WavWriter
{
public:
    // `samples` in [-1, 1]; dithered to 16 bits with a fixed seed, so the same
    // input always gives the same bytes. False if the file cannot be written.
    static bool write(const std::string &path, const std::vector<double> &samples, int rate);
};
