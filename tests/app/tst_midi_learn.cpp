#include "app/Form1.h"
#include "app/MidiLearnDialog.h"
#include "audio/AudioEngine.h"
#include "audio/inputs/MidiInput.h"
#include "sound/MidiPlayer.h"
#include "support/RecordingSink.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Teaching a MIDI pad a sound from the window's menu: the pad hit, the key
// pressed, the map file written, and the pad playing that sound after a
// restart.
class TestMidiLearn : public QObject
{
    Q_OBJECT

private slots:
    void aPadTaughtFromTheMenuKeepsItsSoundAfterARestart_data()
    {
        QTest::addColumn<int>("pressed");       // the key pressed in the dialog
        QTest::addColumn<QByteArray>("before"); // the map file before; empty: none
        QTest::addColumn<QByteArray>("kept");   // in the file after, and read back
        QTest::addColumn<QChar>("played");      // what the pad plays after a restart
        QTest::newRow("a drum key, no map before") << int(Qt::Key_V) << QByteArray() << QByteArray() << QChar('V');
        QTest::newRow("the space key, in a map with the user's remarks")
            << int(Qt::Key_Space) << QByteArray("# my pads\n36 K # the kick pad\n40 V\n")
            << QByteArray("# my pads\n36 K # the kick pad\n40 \" \"\n") << QChar(' ');
        QTest::newRow("a map too large to read is not replaced")
            << int(Qt::Key_V) << QByteArray(2 << 20, '#') << QByteArray(2 << 20, '#') << QChar('B');
    }

    void aPadTaughtFromTheMenuKeepsItsSoundAfterARestart()
    {
        QFETCH(int, pressed);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, kept);
        QFETCH(QChar, played);
        QTemporaryDir dir;
        const QString map = dir.filePath(QStringLiteral("config/tamvolo/midi-map"));
        const std::string mapFile = map.toStdString();
        if (!before.isEmpty()) {
            QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("config/tamvolo"))));
            QFile file(map);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(before) == before.size());
        }
        const auto contents = [&] {
            QFile file(map);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        auto engine = std::make_shared<AudioEngine>();
        RecordingSink sink;
        {
            MidiPlayer player(engine, std::make_unique<MidiInput>(engine->midiHub(), MidiInput::Links::None), nullptr,
                              nullptr, mapFile);
            Form1 form(sink, Platform::system(), false);
            form.Form_Load();
            form.setMidi([&player](std::uint8_t note, std::uint8_t key) { player.learn(note, key); });
            auto *learn = form.findChild<QAction *>(QStringLiteral("learnMidiPad"));
            QVERIFY(learn);
            learn->trigger();
            auto *dialog = form.findChild<MidiLearnDialog *>();
            QVERIFY(dialog && dialog->isVisible());
            form.midiNote(40, player.keyFor(40)); // the pad: an electric snare, B by default
            QTest::keyClick(dialog, Qt::Key(pressed), Qt::NoModifier);
            QCOMPARE(QChar(player.keyFor(40)), pressed == Qt::Key_Space ? QChar(' ') : QChar('V'));
            if (kept.isEmpty())
                QTRY_VERIFY(QFile::exists(map));
            else
                QTRY_VERIFY(contents().endsWith(kept.right(64)));
            QVERIFY(sink.names.isEmpty()); // a pad edits no pattern and plays no key
        }
        if (!kept.isEmpty())
            QCOMPARE(contents(), kept);
        MidiPlayer again(engine, std::make_unique<MidiInput>(engine->midiHub(), MidiInput::Links::None), nullptr,
                         nullptr, mapFile);
        QCOMPARE(QChar(again.keyFor(40)), played);
        QCOMPARE(again.keyFor(38), std::uint8_t('B')); // the others as they were
    }
};

QTEST_MAIN(TestMidiLearn)
#include "tst_midi_learn.moc"
