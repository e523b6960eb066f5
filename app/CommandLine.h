#pragma once

#include <QByteArray>

#include <string>
#include <vector>

// What the command line asks for, read before the window exists:
//   tamvolo [--help | --version] [OPTIONS OF QT] [--] [PATTERN_FILE]
// `--` ends the options: what follows it are file names, even those that
// start with a dash. Qt takes its own options (-style=..., -platform ...)
// out of what comes before `--`; what is left there that starts with a dash
// is unknown (see unknownOption()).
class CommandLine
{
public:
    enum class Asks { Window, Help, Version };

    CommandLine(int argc, char **argv);

    Asks asks() const { return m_asks; }
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
    Asks m_asks = Asks::Window;
    int m_qtArgc = 0;
    std::vector<QByteArray> m_afterDashes;
};
