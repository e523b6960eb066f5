#pragma once

#include <QByteArray>

#include <optional>
#include <string>
#include <vector>

// What the command line asks for, read before the window exists:
//   tamvolo [--help | --version] [--midi-manuale | --midi-tutte] [--kit KIT] [OPTIONS OF QT] [--] [PATTERN_FILE]
// Our own options never reach Qt. Qt's (-platform wayland, --style=Fusion)
// are handed on in the one form Qt reads: one dash, the value apart. `--`
// ends the options: what follows it are file names, even those that start
// with a dash. Any other option that starts with a dash is unknown, and one
// of Qt's that needs a value and has none is told too: both before Qt starts
// (which needs a display), and once more after it by unknownOption() for
// one Qt did not take after all.
class CommandLine
{
public:
    enum class Asks { Window, Help, Version, Unknown, NoValue };

    CommandLine(int argc, char **argv);
    CommandLine(const CommandLine &) = delete;
    CommandLine &operator=(const CommandLine &) = delete;

    Asks asks() const { return m_asks; }
    // What the MIDI input links itself to: the devices plugged in (by
    // default), nothing (--midi-manuale: the user links sources in a
    // patchbay), or every MIDI source, programs' too (--midi-tutte). The
    // last one given counts.
    enum class MidiLinks { Devices, ByHand, All };
    MidiLinks midiLinks() const { return m_midiLinks; }
    // --kit NAME|FOLDER|FILE (or --kit=...): the kit to start with; nothing
    // where not given (the one chosen last), empty for the built-in kit.
    std::optional<QByteArray> kit() const { return m_kit; }
    // With Asks::Unknown or NoValue, the option.
    QByteArray unknown() const { return m_unknown; }
    // Qt's -platform and -display, or empty.
    QByteArray platform() const { return m_platform; }
    QByteArray display() const { return m_display; }

    // The arguments for QApplication, which keeps both for its life: the
    // program's name, Qt's options and the file names before `--`.
    int &qtArgc() { return m_qtArgc; }
    char **qtArgv() { return m_qtArgv.data(); }

    // After Qt has taken its options out of qtArgv(): the file names given,
    // as the bytes the system gave (a Latin-1 name stays whole), or the first
    // option nobody knows, if any.
    std::vector<QByteArray> files() const;
    QByteArray unknownOption() const;

    // What --help and --version print.
    static std::string help();
    static std::string version();

private:
    enum class Kind { NotQt, Flag, WithValue };
    static Kind qtOption(const QByteArray &name);

    Asks m_asks = Asks::Window;
    MidiLinks m_midiLinks = MidiLinks::Devices;
    QByteArray m_unknown;
    std::optional<QByteArray> m_kit;
    QByteArray m_platform;
    QByteArray m_display;
    std::vector<QByteArray> m_forQt; // owns what m_qtArgv points at
    std::vector<char *> m_qtArgv;
    int m_qtArgc = 0;
    std::vector<QByteArray> m_afterDashes;
};
