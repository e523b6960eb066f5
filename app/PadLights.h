#pragma once

#include "keys/DrumKeys.h"

#include <array>
#include <cstdint>

class QWidget;

// The seven pad lights over the drums, in the order the drum keys number
// them: a key lights its drum's, and they go dark together. Each carries
// its drum's name for a screen reader. The UI thread.
class PadLights
{
public:
    using Lights = std::array<QWidget *, DrumKeys::kCount>;

    // The lights, not owned (the window's controls).
    void setLights(const Lights &lights);

    // Lights the drum `key` stands for; false where it stands for none.
    bool light(std::uint8_t key);
    void darken();

private:
    Lights m_lights{};
};
