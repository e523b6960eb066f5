#include "audio/core/NoteTable.h"

#include <algorithm>

int NoteTable::Entry::pick(int velocity, unsigned turn, std::array<int, kMaxStacked> &picked) const
{
    // The nearest velocity a range holds, where none holds this one.
    int nearest = 256;
    int within = velocity;
    for (int i = 0; i < layerCount; ++i) {
        const Layer &layer = layers[std::size_t(i)];
        if (layer.minVelocity > layer.maxVelocity)
            continue;
        const int distance = std::max(int(layer.minVelocity) - velocity, velocity - int(layer.maxVelocity));
        if (distance <= 0) {
            nearest = 0;
            within = velocity;
            break;
        }
        if (distance < nearest) {
            nearest = distance;
            within = velocity < layer.minVelocity ? layer.minVelocity : layer.maxVelocity;
        }
    }
    if (nearest == 256)
        return 0;

    int count = 0;
    int takes = 0;
    for (int i = 0; i < layerCount; ++i) {
        const Layer &layer = layers[std::size_t(i)];
        if (within < layer.minVelocity || within > layer.maxVelocity)
            continue;
        if (layer.take > 0)
            ++takes;
        else if (count < kMaxStacked && (stacked || count == 0))
            picked[std::size_t(count++)] = i;
    }
    if (takes == 0 || count >= kMaxStacked || (!stacked && count > 0))
        return count;
    // The turn's take: the takes counted in their places' order.
    const unsigned wanted = turn % unsigned(takes);
    int best = -1;
    for (unsigned rank = 0; rank <= wanted; ++rank) {
        // The take of the next place after `best`'s.
        int next = -1;
        for (int i = 0; i < layerCount; ++i) {
            const Layer &layer = layers[std::size_t(i)];
            if (layer.take == 0 || within < layer.minVelocity || within > layer.maxVelocity)
                continue;
            const bool after = best < 0 || layer.take > layers[std::size_t(best)].take ||
                (layer.take == layers[std::size_t(best)].take && i > best);
            const bool before = next < 0 || layer.take < layers[std::size_t(next)].take ||
                (layer.take == layers[std::size_t(next)].take && i < next);
            if (after && before)
                next = i;
        }
        best = next;
    }
    if (best >= 0)
        picked[std::size_t(count++)] = best;
    return count;
}

void NoteTable::Entry::setSound(std::shared_ptr<const SampleBuffer> sample)
{
    layers[0] = Layer{};
    layers[0].sample = std::move(sample);
    layerCount = layers[0].sample ? 1 : 0;
}
