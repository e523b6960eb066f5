#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The bytes of WAV files: the one place that writes them, for the program
// (the recorder's takes, the exported loops), the kit generator and the
// tests. Plain C++, no Qt, no SDL.
namespace WavEncoder {

// The 44-byte header of a file of `dataBytes` bytes of PCM (or, with
// `isFloat`, IEEE float) samples.
std::string header(int channels, int rate, int bits, bool isFloat, std::uint32_t dataBytes);

// A whole 16-bit PCM file holding `samples` (interleaved, `channels` per
// frame, in [-1, 1]; beyond is clipped, a value that is not a number is
// silence), each rounded to the nearest 16-bit step. With `dither`,
// triangular dither of a step is added first (where the signal is not
// silent), from a fixed seed, so the same samples always give the same
// bytes.
std::string encode16(const std::vector<double> &samples, int channels, int rate, bool dither = false);
std::string encode16(const std::vector<float> &samples, int channels, int rate);

} // namespace WavEncoder
