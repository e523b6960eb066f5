#include "app/CommandLine.h"

CommandLine::CommandLine(int argc, char **argv)
{
    m_forQt.emplace_back(argc > 0 ? argv[0] : "tamvolo");
    bool help = false, version = false;
    int i = 1;
    for (; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--")
            break;
        if (arg == "--midi-manuale" || arg == "--midi-tutte") {
            m_midiLinks = arg == "--midi-manuale" ? MidiLinks::ByHand : MidiLinks::All;
            continue;
        }
        if (arg == "--kit" || arg.startsWith("--kit=")) {
            const bool joined = arg.startsWith("--kit=");
            if (!joined && (i + 1 >= argc || QByteArray(argv[i + 1]) == "--")) {
                if (m_asks == Asks::Window) {
                    m_asks = Asks::NoValue;
                    m_unknown = arg;
                }
                continue;
            }
            m_kit = joined ? arg.mid(6) : QByteArray(argv[++i]);
            continue;
        }
        if (!arg.startsWith('-') || arg == "-") {
            m_forQt.push_back(arg); // a file name, or "-"
            continue;
        }
        if (arg == "--help" || arg == "-h" || arg == "--version") {
            (arg == "--version" ? version : help) = true;
            continue;
        }
        QByteArray name = arg.mid(arg.startsWith("--") ? 2 : 1);
        const qsizetype equals = name.indexOf('=');
        const bool joined = equals >= 0;
        QByteArray value = joined ? name.mid(equals + 1) : QByteArray();
        name.truncate(joined ? equals : name.size());
        const Kind kind = qtOption(name);
        if (kind == Kind::NotQt || (kind == Kind::Flag && joined)) {
            if (m_asks == Asks::Window) {
                m_asks = Asks::Unknown;
                m_unknown = arg;
            }
            continue;
        }
        if (kind == Kind::WithValue && !joined) {
            // The next argument is the value, whatever it looks like
            // ("-qwindowtitle --help" is a title).
            if (i + 1 >= argc || QByteArray(argv[i + 1]) == "--") {
                if (m_asks == Asks::Window) {
                    m_asks = Asks::NoValue;
                    m_unknown = arg;
                }
                continue;
            }
            value = argv[++i];
        }
        if (name == "platform")
            m_platform = value;
        else if (name == "display")
            m_display = value;
        if (name == "qmljsdebugger") {
            m_forQt.push_back("-qmljsdebugger=" + value); // the one form Qt reads
            continue;
        }
        m_forQt.push_back('-' + name);
        if (kind == Kind::WithValue)
            m_forQt.push_back(value);
    }
    for (++i; i < argc; ++i)
        m_afterDashes.emplace_back(argv[i]);
    if (help)
        m_asks = Asks::Help;
    else if (version)
        m_asks = Asks::Version;

    for (QByteArray &arg : m_forQt)
        m_qtArgv.push_back(arg.data());
    m_qtArgc = int(m_qtArgv.size());
    m_qtArgv.push_back(nullptr);
}

// The options QApplication and its X11 platform take (Qt 6), with one dash
// or two, a value after them or after "=".
CommandLine::Kind CommandLine::qtOption(const QByteArray &name)
{
    static constexpr const char *kWithValue[] = {
        "platform", "platformpluginpath", "platformtheme", "plugin",  "qwindowgeometry", "geometry", "qwindowtitle",
        "title",    "qwindowicon",        "icon",          "session", "display",         "name",     "visual",
        "style",    "stylesheet",         "qmljsdebugger"};
    static constexpr const char *kFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "testability"};
    for (const char *known : kWithValue)
        if (name == known)
            return Kind::WithValue;
    for (const char *known : kFlags)
        if (name == known)
            return Kind::Flag;
    return Kind::NotQt;
}

std::vector<QByteArray> CommandLine::files() const
{
    std::vector<QByteArray> names;
    for (int i = 1; i < m_qtArgc; ++i)
        names.emplace_back(m_qtArgv[std::size_t(i)]);
    names.insert(names.end(), m_afterDashes.begin(), m_afterDashes.end());
    return names;
}

QByteArray CommandLine::unknownOption() const
{
    for (int i = 1; i < m_qtArgc; ++i) {
        const char *arg = m_qtArgv[std::size_t(i)];
        if (arg[0] == '-' && arg[1] != '\0')
            return arg;
    }
    return {};
}

std::string CommandLine::version()
{
    return "tamvolo " TAMVOLO_VERSION "\n";
}

std::string CommandLine::help()
{
    return "Uso: tamvolo [OPZIONI] [--] [FILE_PATTERN]\n"
           "Batteria da tastiera e loop di sette passi.\n"
           "\n"
           "  FILE_PATTERN     un pattern salvato (testo, al massimo 7 caratteri) da\n"
           "                   aprire all'avvio; dopo -- anche un nome che comincia con -;\n"
           "                   il file di un kit (.h2drumkit, drumkit.xml, .sfz) lo carica\n"
           "                   come kit e lo ricorda (un .h2drumkit si estrae prima in\n"
           "                   ~/.local/share/tamvolo/kits)\n"
           "      --midi-manuale\n"
           "                   non collega da sé le sorgenti MIDI: le colleghi tu (per\n"
           "                   esempio con un patchbay) alla porta \"MIDI in\" di Tamvolo\n"
           "      --midi-tutte collega da sé anche le uscite MIDI degli altri programmi\n"
           "                   (sequencer, DAW), non solo i dispositivi\n"
           "      --kit NOME|CARTELLA|FILE\n"
           "                   suona con un kit: un drumkit di Hydrogen (il suo nome, la\n"
           "                   sua cartella o il suo drumkit.xml) o un file SFZ; \"\" il kit\n"
           "                   di Tamvolo\n"
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
           "  XDG_DATA_HOME    la cartella dei tuoi suoni è $XDG_DATA_HOME/tamvolo/voc\n"
           "                   (senza: ~/.local/share/tamvolo/voc)\n"
           "\n"
           "Tasti: Ctrl+O apre un pattern, Ctrl+S lo salva, Ctrl+E esporta il loop in WAV,\n"
           "Ctrl+Z annulla, Maiusc+F10 o il tasto Menu apre il menu del campo, F1 l'aiuto.\n"
           "Dal menu: \"Tempo…\" (passi al minuto, swing) e \"Assegna un suono a un pad\n"
           "MIDI…\" (la mappa dei pad); \"Apri il registratore di suoni\" registra i tuoi suoni.\n"
           "\n"
           "File:\n"
           "  ~/.config/tamvolo/midi-map\n"
           "                   i pad MIDI a cui hai assegnato un suono (\"40 V\" per riga)\n"
           "  ~/.config/tamvolo/tempo\n"
           "                   il tempo del loop (\"Tempo…\" nel menu del campo)\n"
           "  ~/.local/share/tamvolo/voc\n"
           "                   i tuoi suoni e le registrazioni\n"
           "\n"
           "Vedi anche: man tamvolo\n";
}
