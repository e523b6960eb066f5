// Reads what the soak run's sound device captured and reports clicks.
//   soak_check CAPTURE.raw     (stereo float frames at 48 kHz)
#include "support/Capture.h"
#include "support/ClickDetector.h"

#include <QString>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CAPTURE\n", argv[0]);
        return 2;
    }
    const std::vector<float> left = Capture::readLeft(QString::fromLocal8Bit(argv[1]));
    std::size_t sounding = 0;
    for (float v : left)
        sounding += v != 0.0f;
    const std::vector<std::size_t> clicks = ClickDetector::find(left);
    std::printf("captured %.1f s (%.1f s not silent), clicks: %zu", double(left.size()) / 48000.0,
                double(sounding) / 48000.0, clicks.size());
    for (std::size_t i = 0; i < clicks.size() && i < 5; ++i)
        std::printf("%s%.3f s", i ? ", " : " at ", double(clicks[i]) / 48000.0);
    std::printf("\n");
    return left.empty() || !clicks.empty() ? 1 : 0;
}
