#include "app/CommandLine.h"

#include <cstring>
#include <string_view>

CommandLine::CommandLine(int &argc, char **argv)
{
    // Ours, before `--`, out of argv.
    int kept = 1;
    bool dashes = false;
    for (int i = 1; i < argc; ++i) {
        dashes = dashes || std::strcmp(argv[i], "--") == 0;
        if (!dashes && std::strcmp(argv[i], "--midi-manuale") == 0) {
            m_midiByHand = true;
            continue;
        }
        argv[kept++] = argv[i];
    }
    argv[kept] = nullptr;
    argc = kept;
    m_qtArgc = argc;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            m_qtArgc = i;
            break;
        }
    }
    for (int i = m_qtArgc + 1; i < argc; ++i)
        m_afterDashes.emplace_back(argv[i]);
    for (int i = 1; i < m_qtArgc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            m_asks = Asks::Help;
            return;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            m_asks = Asks::Version;
            return;
        }
    }
    for (int i = 1; i < m_qtArgc; ++i) {
        bool takesValue = false;
        if (argv[i][0] != '-' || argv[i][1] == '\0')
            continue; // a file name, or "-"
        if (!isQtOption(argv[i], takesValue)) {
            m_asks = Asks::Unknown;
            m_unknown = argv[i];
            return;
        }
        i += takesValue ? 1 : 0;
    }
}

// The options QApplication and its X11 and Wayland platforms take, with one
// dash or two, a value after them or after "=".
bool CommandLine::isQtOption(const char *arg, bool &takesValue)
{
    static constexpr std::string_view kWithValue[] = {"platform",
                                                      "platformpluginpath",
                                                      "platformtheme",
                                                      "plugin",
                                                      "qwindowgeometry",
                                                      "qwindowicon",
                                                      "qwindowtitle",
                                                      "session",
                                                      "display",
                                                      "geometry",
                                                      "style",
                                                      "stylesheet",
                                                      "name",
                                                      "title",
                                                      "visual",
                                                      "ncols",
                                                      "cmap"};
    static constexpr std::string_view kFlags[] = {"reverse", "widgetcount", "nograb",
                                                  "dograb",  "sync",        "qmljsdebugger"};
    std::string_view option(arg);
    option.remove_prefix(option.starts_with("--") ? 2 : 1);
    const auto equals = option.find('=');
    const bool valueJoined = equals != std::string_view::npos;
    option = option.substr(0, equals);
    for (const std::string_view known : kWithValue)
        if (option == known) {
            takesValue = !valueJoined;
            return true;
        }
    for (const std::string_view known : kFlags)
        if (option == known)
            return true;
    return false;
}

std::vector<QByteArray> CommandLine::files(int qtArgc, char **argv) const
{
    std::vector<QByteArray> names;
    for (int i = 1; i < qtArgc; ++i)
        names.emplace_back(argv[i]);
    names.insert(names.end(), m_afterDashes.begin(), m_afterDashes.end());
    return names;
}

QByteArray CommandLine::unknownOption(int qtArgc, char **argv)
{
    for (int i = 1; i < qtArgc; ++i)
        if (argv[i][0] == '-' && argv[i][1] != '\0')
            return argv[i];
    return {};
}

std::string CommandLine::version()
{
    return "tamvolo " TAMVOLO_VERSION "\n";
}

std::string CommandLine::help()
{
    return "Uso: tamvolo [OPZIONI] [--] [FILE_PATTERN]\n"
           "Batteria da tastiera e sequenza di sette passi.\n"
           "\n"
           "  FILE_PATTERN     un pattern salvato (testo, al massimo 7 caratteri) da\n"
           "                   aprire all'avvio; dopo -- anche un nome che comincia con -\n"
           "      --midi-manuale\n"
           "                   non collega da sé le sorgenti MIDI: le colleghi tu (per\n"
           "                   esempio con un patchbay) alla porta \"MIDI in\" di Tamvolo\n"
           "  -h, --help       mostra questo aiuto ed esce\n"
           "      --version    mostra la versione ed esce\n"
           "Sono accettate anche le opzioni di Qt (per esempio -platform wayland).\n"
           "\n"
           "Variabili d'ambiente:\n"
           "  TAMVOLO_AUDIO=pipewire|pulseaudio|sdl\n"
           "                   l'uscita audio; senza, PipeWire se risponde, poi\n"
           "                   PulseAudio, poi SDL\n"
           "  SDL_AUDIODRIVER  un driver di SDL (alsa, pipewire...): suona attraverso SDL\n"
           "  QT_LOGGING_RULES=\"tamvolo.audio=true;tamvolo.midi=true\"\n"
           "                   scrive sul terminale che cosa fanno l'audio e il MIDI\n"
           "  XDG_DATA_HOME    la cartella dei propri suoni è $XDG_DATA_HOME/tamvolo/voc\n"
           "                   (senza: ~/.local/share/tamvolo/voc)\n"
           "\n"
           "Vedere tamvolo(1).\n";
}
