#include "app/PadLights.h"

#include <QWidget>

void PadLights::setLights(const Lights &lights)
{
    m_lights = lights;
    for (int light = 0; light < DrumKeys::kCount; ++light)
        m_lights[std::size_t(light)]->setAccessibleName(QLatin1String(DrumKeys::drumName(light)));
}

bool PadLights::light(std::uint8_t key)
{
    const auto light = DrumKeys::padLightFor(key);
    if (light)
        m_lights[std::size_t(*light)]->show();
    return light.has_value();
}

void PadLights::darken()
{
    for (QWidget *light : m_lights)
        light->hide();
}
