#include "app/Form1.h"
#include "app/MidiLearnDialog.h"
#include "audio/AudioEngine.h"
#include "audio/inputs/MidiInput.h"
#include "sound/MidiPlayer.h"
#include "support/RecordingSink.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

MidiLearnDialog::Pads padsOf(MidiPlayer &player)
{
    return {[&player](std::uint8_t note, std::uint8_t key) { player.learn(note, key); },
            [&player] { player.forgetAll(); }, [&player] { return player.map(); },
            [&player] { return player.inputHeard(); }};
}

// The "Suona" and "Da" cells of `note`'s row in the dialog's map.
QString rowOf(const MidiLearnDialog &dialog, int note)
{
    const auto *table = dialog.findChild<QTableWidget *>(QStringLiteral("midiLearnMap"));
    for (int row = 0; row < table->rowCount(); ++row)
        if (table->item(row, 0)->text() == QString::number(note))
            return table->item(row, 1)->text() + QStringLiteral(" / ") + table->item(row, 2)->text();
    return {};
}

QString textOf(const MidiLearnDialog &dialog)
{
    return dialog.findChild<QLabel *>(QStringLiteral("midiLearnText"))->text();
}

} // namespace

// Teaching a MIDI pad a sound from the window's menu: the pad hit, the key
// pressed, the map file written, and the pad playing that sound after a
// restart.
class TestMidiLearn : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // No PipeWire answers and the ALSA sequencer cannot be opened: no MIDI
        // input at all, as on a machine without a sound server.
        qputenv("PIPEWIRE_REMOTE", "tamvolo-no-such-server");
        qputenv("ALSA_CONFIG_PATH", "/dev/null");
    }

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
            form.setMidi(padsOf(player));
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

    // The dialog as the user reads it: the map's rows, a pad forgotten, a
    // key without a sound named in words, a map that cannot be saved.
    void theDialogShowsTheMapAndSaysWhatItCouldNotSave()
    {
        QTemporaryDir dir;
        QFile blocking(dir.filePath(QStringLiteral("not-a-folder")));
        QVERIFY(blocking.open(QIODevice::WriteOnly));
        blocking.close();
        auto engine = std::make_shared<AudioEngine>();
        RecordingSink sink;
        // The window outlives the player, as in the program: the player's
        // thread tells it of the last write (the forgetting) maybe as the
        // test ends.
        Form1 form(sink, Platform::system(), false);
        form.Form_Load();
        MidiPlayer player(engine, std::make_unique<MidiInput>(engine->midiHub(), MidiInput::Links::None), nullptr,
                          nullptr, dir.filePath(QStringLiteral("not-a-folder/midi-map")).toStdString());
        form.setMidi(padsOf(player));
        player.setMapListener([&form](const MidiPlayer::MapWritten &written) {
            QMetaObject::invokeMethod(&form, [&form, written] { form.midiMapWritten(written); });
        });
        form.findChild<QAction *>(QStringLiteral("learnMidiPad"))->trigger();
        auto *dialog = form.findChild<MidiLearnDialog *>();
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(rowOf(*dialog, 40), QStringLiteral("rullante (B) / General MIDI"));
        const auto *input = dialog->findChild<QLabel *>(QStringLiteral("midiLearnInput"));
        QTRY_VERIFY(input->isVisible() && input->text().startsWith(QStringLiteral("Nessun ingresso MIDI")));

        form.midiNote(40, 'B');
        QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
        QCOMPARE(textOf(*dialog), QStringLiteral("Il tasto Invio non ha un suono: premine un altro."));
        QTest::keyClick(dialog->focusWidget(), Qt::Key_V);
        QCOMPARE(rowOf(*dialog, 40), QStringLiteral("cassa (V) / assegnato da te"));
        QTRY_VERIFY(textOf(*dialog).startsWith(QStringLiteral("Impossibile salvare la mappa MIDI")));
        QVERIFY(textOf(*dialog).endsWith(QStringLiteral("suona come il tasto «V» finché Tamvolo resta aperto.")));
        QCOMPARE(player.map().keyFor(40), std::uint8_t('V')); // kept for the session

        auto *forget = dialog->findChild<QPushButton *>(QStringLiteral("midiLearnForget"));
        QVERIFY(forget->isEnabled() && forget->focusPolicy() != Qt::NoFocus);
        forget->click();
        QCOMPARE(rowOf(*dialog, 40), QStringLiteral("rullante (B) / General MIDI"));
        QCOMPARE(player.map().keyFor(40), std::uint8_t('B'));
    }
};

QTEST_MAIN(TestMidiLearn)
#include "tst_midi_learn.moc"
