#include "keys/DrumKeys.h"

#include <string_view>

std::optional<int> DrumKeys::padLightFor(std::uint8_t key)
{
    constexpr std::string_view kKeys = "VBJHGFK";
    const auto at = kKeys.find(char(key));
    if (key == 0 || at == std::string_view::npos)
        return std::nullopt;
    return int(at);
}

const char *DrumKeys::drumName(int light)
{
    static constexpr const char *kNames[kCount] = {"cassa",     "rullante", "charleston", "tom alto",
                                                   "tom basso", "timpano",  "piatto"};
    return light >= 0 && light < kCount ? kNames[light] : "";
}
