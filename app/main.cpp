#include "app/Form1.h"
#include "audio/AudioEngine.h"
#include "sound/SoundBank.h"

#include <QApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QStyleFactory>
#include <QTranslator>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
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
    if (const QStringList args = QApplication::arguments(); args.size() > 1)
        window.openPattern(args.at(1));
    const int code = QApplication::exec();

    // For soak runs: the engine's counters, written where asked, at exit.
    const QString stats = qEnvironmentVariable("TAMVOLO_STATS");
    if (!stats.isEmpty()) {
        QFile file(stats);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(QStringLiteral("late_blocks=%1\nlate_onsets=%2\n")
                           .arg(engine->lateBlocks())
                           .arg(engine->lateOnsets())
                           .toUtf8());
    }
    return code;
}
