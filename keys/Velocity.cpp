#include "keys/Velocity.h"

#include <algorithm>
#include <cmath>

float Velocity::loudness(std::uint8_t velocity)
{
    const double v = std::clamp<double>(velocity, 1, 127);
    return float(std::pow(10.0, kSoftestDb * (127.0 - v) / 126.0 / 20.0));
}
