#include "sound/WavFile.h"

#include "files/WavEncoder.h"

#include <QFile>

std::string WavFile::encode16(const std::vector<float> &samples, int channels, int rate)
{
    return WavEncoder::encode16(samples, channels, rate);
}

CarefulWriter::Result WavFile::save16(const QString &path, const std::vector<float> &samples, int channels, int rate,
                                      CarefulWriter::Links links)
{
    return CarefulWriter::write(QFile::encodeName(path).toStdString(), encode16(samples, channels, rate), links);
}
