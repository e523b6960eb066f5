#pragma once

#include <QByteArray>

#include <string>
#include <vector>

// What the command line asks for, read before the window exists:
//   tamvolo [--help | --version] [--midi-manuale] [OPTIONS OF QT] [--] [PATTERN_FILE]
// Our own options are taken out of argv as it is read, so that Qt never sees
// them.
// `--` ends the options: what follows it are file names, even those that
// start with a dash. Qt takes its own options (-style=..., -platform ...)
// out of what comes before `--`; any other that starts with a dash is
// unknown, told before Qt starts (which needs a display), and once more
// after it by unknownOption() for one Qt did not take after all.
class CommandLine
{
public:
    enum class Asks { Window, Help, Version, Unknown };

    CommandLine(int &argc, char **argv);

    Asks asks() const { return m_asks; }
    // --midi-manuale: the MIDI input links itself to no source; the user
    // links them in a patchbay.
    bool midiByHand() const { return m_midiByHand; }
    // With Asks::Unknown, the first option that is neither ours nor Qt's.
    QByteArray unknown() const { return m_unknown; }
    // How many of the arguments Qt may read: those before `--`.
    int qtArgc() const { return m_qtArgc; }

    // After Qt has taken its options out of argv[0 .. qtArgc): the file
    // names given, as the bytes the system gave (a Latin-1 name stays whole),
    // or the first option nobody knows, if any.
    std::vector<QByteArray> files(int qtArgc, char **argv) const;
    static QByteArray unknownOption(int qtArgc, char **argv);

    // What --help and --version print.
    static std::string help();
    static std::string version();

private:
    static bool isQtOption(const char *arg, bool &takesValue);

    Asks m_asks = Asks::Window;
    bool m_midiByHand = false;
    QByteArray m_unknown;
    int m_qtArgc = 0;
    std::vector<QByteArray> m_afterDashes;
};
