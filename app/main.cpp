#include "AudioEngine.h"
#include "Form1.h"
#include "SoundBank.h"

#include <QApplication>
#include <QStyleFactory>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tamvolo"));
    QApplication::setDesktopFileName(QStringLiteral("org.tamvolo.Tamvolo"));
    // Fusion draws buttons in their own background colour on every desktop.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    AudioEngine engine;
    SoundBank::setSink(&engine);

    Form1 window;
    window.Form_Load();
    window.centreOnScreen();
    window.show();
    const int code = QApplication::exec();
    SoundBank::setSink(nullptr);
    return code;
}
