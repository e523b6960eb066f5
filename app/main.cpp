#include "AudioEngine.h"
#include "SoundBank.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    AudioEngine engine;
    SoundBank::setSink(&engine);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Tamvolo"));
    window.show();
    const int code = app.exec();
    SoundBank::setSink(nullptr);
    return code;
}
