#include "app/Form1.h"
#include "audio/AudioEngine.h"
#include "files/CarefulWriter.h"
#include "sound/SoundBank.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QStyleFactory>
#include <QTranslator>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    // Under a file-size limit a write fails as a write, with its message,
    // rather than killing the program with SIGXFSZ: from the very start, as
    // the sound server's client library writes its shared memory too.
    CarefulWriter::ignoreFileSizeSignal();

    // `--` ends the options: what follows it are file names, even those that
    // start with a dash. Qt sees only what comes before it.
    int qtArgc = argc;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            qtArgc = i;
            break;
        }
    }
    std::vector<QByteArray> files;
    for (int i = qtArgc + 1; i < argc; ++i)
        files.emplace_back(argv[i]);

    QApplication app(qtArgc, argv);
    // Qt has taken its own options out; what is left before `--` are file
    // names, kept as the bytes the system gave (a Latin-1 name stays whole).
    for (int i = qtArgc - 1; i >= 1; --i) {
        if (argv[i][0] == '-' && argv[i][1] != '\0') {
            std::fprintf(stderr, "tamvolo: opzione sconosciuta: %s\n", argv[i]);
            return 2;
        }
        files.insert(files.begin(), QByteArray(argv[i]));
    }

    QApplication::setApplicationName(QStringLiteral("Tamvolo"));
    QApplication::setDesktopFileName(QStringLiteral("org.tamvolo.Tamvolo"));
    // Fusion draws buttons in their own background colour on every desktop.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    // The window speaks Italian whatever the desktop's language: so do Qt's
    // own texts in it (the field's context menu, the file dialogs).
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_it"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    auto engine = std::make_shared<AudioEngine>();
    SoundBank bank(engine);

    Form1 window(bank);
    window.Form_Load();
    window.centreOnScreen();
    window.show();
    // `tamvolo FILE` starts with the pattern of that file.
    if (!files.empty())
        window.openPattern(files.front());
    const int code = QApplication::exec();

    // For soak runs: the engine's counters, written where asked, at exit.
    if (const QByteArray stats = qgetenv("TAMVOLO_STATS"); !stats.isEmpty())
        CarefulWriter::write(stats.toStdString(),
                             "late_blocks=" + std::to_string(engine->lateBlocks()) +
                                 "\nlate_onsets=" + std::to_string(engine->lateOnsets()) + "\n");
    return code;
}
