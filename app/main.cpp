#include "app/CommandLine.h"
#include "app/Form1.h"
#include "app/GraphicalDisplay.h"
#include "app/ItalianLocale.h"
#include "app/QuitSignals.h"
#include "app/SessionBus.h"
#include "audio/AudioEngine.h"
#include "audio/core/AudioLog.h"
#include "audio/inputs/MidiInput.h"
#include "audio/outputs/OutputChoice.h"
#include "files/CarefulWriter.h"
#include "files/ConfigFile.h"
#include "sound/KitCatalog.h"
#include "sound/KitLoader.h"
#include "sound/MidiPlayer.h"
#include "sound/SampleFolders.h"
#include "sound/SampleService.h"
#include "sound/SoundBank.h"

#include <QApplication>
#include <QPointer>
#include <QSessionManager>
#include <QStyleFactory>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    // Under a file-size limit a write fails as a write, with its message,
    // rather than killing the program with SIGXFSZ: from the very start, as
    // the sound server's client library writes its shared memory too.
    CarefulWriter::ignoreFileSizeSignal();
    // A log piped into a reader that quit loses the log, not the program.
    QuitSignals::ignoreBrokenPipe();

    CommandLine commandLine(argc, argv);
    auto refuse = [](const char *what, const QByteArray &option) {
        std::fprintf(stderr, "tamvolo: %s: %s\n(tamvolo --help elenca le opzioni)\n", what, option.constData());
        return 2;
    };
    // Answered before Qt, which may find no display.
    switch (commandLine.asks()) {
    case CommandLine::Asks::Help:
        std::fputs(CommandLine::help().c_str(), stdout);
        return 0;
    case CommandLine::Asks::Version:
        std::fputs(CommandLine::version().c_str(), stdout);
        return 0;
    case CommandLine::Asks::Unknown:
        return refuse("opzione sconosciuta", commandLine.unknown());
    case CommandLine::Asks::NoValue:
        return refuse("manca il valore dell'opzione", commandLine.unknown());
    case CommandLine::Asks::Window:
        break;
    }
    if (!GraphicalDisplay::reachable(commandLine.platform(), commandLine.display())) {
        std::fputs("tamvolo: nessun display grafico: Tamvolo si apre solo in una sessione grafica (X11 o Wayland).\n",
                   stderr);
        return 1;
    }

    SessionBus::neverAutolaunch();
    OutputChoice::prepareEnvironment();
    ItalianLocale italian;
    QApplication app(commandLine.qtArgc(), commandLine.qtArgv());
    italian.apply();
    if (const QByteArray unknown = commandLine.unknownOption(); !unknown.isEmpty())
        return refuse("opzione sconosciuta", unknown);
    const std::vector<QByteArray> files = commandLine.files();

    QApplication::setApplicationName(QStringLiteral("Tamvolo"));
    QApplication::setDesktopFileName(QStringLiteral("org.tamvolo.Tamvolo"));
    // Fusion draws buttons in their own background colour on every desktop.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    auto engine = std::make_shared<AudioEngine>();
    SoundBank bank(engine);

    // What a killed write left in the settings and the samples goes now,
    // not only at the next write there.
    for (const std::string &folder : {ConfigFile::path(""), SampleFolders::user()})
        if (!folder.empty())
            CarefulWriter::removeLeftovers(folder);
    Form1 window(bank);
    window.useTempoFile(ConfigFile::path("tempo"));
    window.Form_Load();
    window.centreOnScreen();
    window.show();

    // Played from a MIDI pad: each note lights its drum, on the UI thread.
    QPointer<Form1> shown(&window);
    const CommandLine::MidiLinks asked = commandLine.midiLinks();
    const MidiInput::Links links = asked == CommandLine::MidiLinks::ByHand ? MidiInput::Links::None
        : asked == CommandLine::MidiLinks::All                             ? MidiInput::Links::All
                                                                           : MidiInput::Links::Hardware;
    MidiPlayer midi(
        engine, std::make_unique<MidiInput>(engine->midiHub(), links),
        [shown](const MidiPlayer::Heard &heard) {
            QMetaObject::invokeMethod(
                shown,
                [shown, heard] {
                    if (shown)
                        shown->midiNote(heard.note, heard.key);
                },
                Qt::QueuedConnection);
        },
        bank.samples());
    midi.setMapListener([shown](const MidiPlayer::MapWritten &written) {
        QMetaObject::invokeMethod(
            shown,
            [shown, written] {
                if (shown)
                    shown->midiMapWritten(written);
            },
            Qt::QueuedConnection);
    });
    window.setMidi({[&midi](std::uint8_t note, std::uint8_t key) { midi.learn(note, key); },
                    [&midi] { midi.forgetAll(); }, [&midi] { return midi.map(); },
                    [&midi] { return midi.inputHeard(); }});

    // The kit: the one --kit names (not remembered), else the one chosen
    // last; one that cannot be loaded leaves the built-in kit playing.
    const std::optional<QByteArray> askedKit = commandLine.kit();
    KitLoader kits(engine, bank.samples(), [shown, askedKit](const KitLoader::Told &told) {
        if (told.finished && !told.loaded && askedKit && told.path == askedKit->toStdString())
            std::fprintf(stderr, "tamvolo: il kit «%s» non si può caricare (%s): suona il kit di Tamvolo\n",
                         told.path.c_str(), told.why.c_str());
        QMetaObject::invokeMethod(
            shown,
            [shown, told] {
                if (shown)
                    shown->kitTold(told);
            },
            Qt::QueuedConnection);
    });
    window.setKits(kits, [samples = bank.samples()] { return samples->kit(); });
    if (askedKit) {
        if (!askedKit->isEmpty())
            kits.load(askedKit->toStdString(), false);
    } else if (const std::string chosen = KitCatalog::chosen(); !chosen.empty()) {
        kits.load(chosen, false);
    }
    // `tamvolo FILE` starts with the pattern of that file, or with the kit
    // of a kit's file (as a file manager's "Apri con" gives it).
    if (!files.empty() && KitCatalog::isKitFile(files.front().toStdString()))
        window.openKit(QString::fromLocal8Bit(files.front()));
    else if (!files.empty())
        window.openPattern(files.front());
    // A take the last run could not ask about comes back.
    window.offerKeptTake();

    // Every way out ends as "Chiudi" does: the sound faded out as the
    // engine closes (after exec() returns), nothing the user made lost. A
    // signal cannot wait for a question: the take is kept for the next start.
    QuitSignals quitSignals;
    QObject::connect(&quitSignals, &QuitSignals::quitAsked, &window, [&window](int signal) {
        qCDebug(lcAudio) << "signal" << signal << "received: the program ends as \"Chiudi\" ends it";
        window.keepUnsavedTake();
        QCoreApplication::exit(0);
    });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window, [&window](QSessionManager &manager) {
        if (!manager.allowsInteraction()) {
            window.keepUnsavedTake();
            return;
        }
        if (!window.mayEnd())
            manager.cancel();
        manager.release();
    });
    const int code = QApplication::exec();

    // For soak runs: the engine's counters, written where asked, at exit.
    if (const QByteArray stats = qgetenv("TAMVOLO_STATS"); !stats.isEmpty())
        CarefulWriter::write(stats.toStdString(),
                             "late_blocks=" + std::to_string(engine->lateBlocks()) +
                                 "\nlate_onsets=" + std::to_string(engine->lateOnsets()) + "\n");
    return code;
}
