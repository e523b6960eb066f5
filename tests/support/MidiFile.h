#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <vector>

// A Standard MIDI File of drum hits (channel 10), for pw-midiplay: one
// track, 480 ticks to the quarter note at 120 beats a minute, so a tick is
// 1/960 s; each hit lasts 60 ticks.
namespace MidiFile {

struct Hit
{
    int tick = 0;
    int note = 36;
    int velocity = 100;
};

inline QByteArray bytes(const std::vector<Hit> &hits)
{
    auto message = [](int status, int note, int velocity) {
        QByteArray m;
        m.append(char(status)).append(char(note)).append(char(velocity));
        return m;
    };
    auto variable = [](int n) {
        QByteArray out(1, char(n & 0x7f));
        while (n >>= 7)
            out.prepend(char(0x80 | (n & 0x7f)));
        return out;
    };
    auto be32 = [](int n) {
        QByteArray b;
        b.append(char(n >> 24)).append(char(n >> 16)).append(char(n >> 8)).append(char(n));
        return b;
    };
    struct Event
    {
        int tick;
        QByteArray data;
    };
    std::vector<Event> events;
    for (const Hit &h : hits) {
        events.push_back({h.tick, message(0x99, h.note, h.velocity)});
        events.push_back({h.tick + 60, message(0x89, h.note, 0)});
    }
    std::stable_sort(events.begin(), events.end(), [](const Event &a, const Event &b) { return a.tick < b.tick; });
    QByteArray track = variable(0) + QByteArray("\xff\x51\x03\x07\xa1\x20", 6); // 500000 us a quarter
    int last = 0;
    for (const Event &e : events) {
        track += variable(e.tick - last) + e.data;
        last = e.tick;
    }
    track += variable(480) + QByteArray("\xff\x2f\x00", 3);
    return QByteArray("MThd", 4) + be32(6) + QByteArray("\x00\x00\x00\x01\x01\xe0", 6) + QByteArray("MTrk", 4) +
        be32(int(track.size())) + track;
}

inline bool write(const QString &path, const std::vector<Hit> &hits)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes(hits)) > 0;
}

} // namespace MidiFile
