#include "WavWriter.h"

#include "files/CarefulWriter.h"
#include "files/WavEncoder.h"

bool WavWriter::write(const std::string &path, const std::vector<double> &samples, int rate)
{
    return CarefulWriter::write(path, WavEncoder::encode16(samples, 1, rate, true)) == CarefulWriter::Result::Written;
}
