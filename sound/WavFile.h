#pragma once

#include "files/CarefulWriter.h"

#include <QString>

#include <string>
#include <vector>

// 16-bit PCM WAV files, as the program writes them: takes of the recorder
// and exported loops (their bytes: WavEncoder::encode16, without dither, so
// that a sound written and read back differs by at most half a step).
namespace WavFile {

// Writes the file through the careful writer (files/CarefulWriter.h): whole
// or not at all, nothing but a regular file replaced; on any failure `path`
// is left as it was and the writer's reason returned. `path`'s folder must
// exist. With Links::Replace a link at `path` is replaced by the file itself.
CarefulWriter::Result save16(const QString &path, const std::vector<float> &samples, int channels, int rate,
                             CarefulWriter::Links links = CarefulWriter::Links::Follow);

} // namespace WavFile
