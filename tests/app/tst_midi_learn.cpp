#include "app/Form1.h"
#include "app/MidiLearnDialog.h"
#include "audio/AudioEngine.h"
#include "audio/inputs/MidiInput.h"
#include "sound/MidiPlayer.h"
#include "support/RecordingSink.h"

#include <QAction>
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
    void aPadTaughtFromTheMenuKeepsItsSoundAfterARestart()
    {
        QTemporaryDir dir;
        const std::string mapFile = dir.filePath(QStringLiteral("config/tamvolo/midi-map")).toStdString();
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
            QTest::keyClick(dialog, Qt::Key_V, Qt::NoModifier);
            QCOMPARE(player.keyFor(40), std::uint8_t('V'));
            QTRY_VERIFY(QFile::exists(QString::fromStdString(mapFile)));
            QVERIFY(sink.names.isEmpty()); // a pad edits no pattern and plays no key
        }
        MidiPlayer again(engine, std::make_unique<MidiInput>(engine->midiHub(), MidiInput::Links::None), nullptr,
                         nullptr, mapFile);
        QCOMPARE(again.keyFor(40), std::uint8_t('V'));
        QCOMPARE(again.keyFor(38), std::uint8_t('B')); // the others as they were
    }
};

QTEST_MAIN(TestMidiLearn)
#include "tst_midi_learn.moc"
