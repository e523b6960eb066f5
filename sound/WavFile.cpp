#include "sound/WavFile.h"

#include "files/WavEncoder.h"

#include <QFile>

CarefulWriter::Result WavFile::save16(const QString &path, const std::vector<float> &samples, int channels, int rate,
                                      CarefulWriter::Links links)
{
    return CarefulWriter::write(QFile::encodeName(path).toStdString(), WavEncoder::encode16(samples, channels, rate),
                                links);
}
