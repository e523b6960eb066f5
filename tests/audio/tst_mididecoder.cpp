#include "audio/core/MidiDecoder.h"

#include <QTest>

// A MIDI byte stream as a pad sends it, and as broken streams send it: the
// hits that come out.
class TestMidiDecoder : public QObject
{
    Q_OBJECT

private slots:
    void theHitsOfAStream_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("hits"); // "channel:note:velocity" each
        QTest::newRow("a note-on on channel 10") << QByteArray("\x99\x24\x64", 3) << "9:36:100";
        QTest::newRow("running status carries the note-ons on")
            << QByteArray("\x99\x24\x64\x2a\x50", 5) << "9:36:100 9:42:80";
        QTest::newRow("a note-on of velocity 0 is a note-off") << QByteArray("\x99\x24\x00\x24\x10", 5) << "9:36:16";
        QTest::newRow("note-offs, pressure and controllers play nothing")
            << QByteArray("\x89\x24\x40\xa9\x24\x10\xb9\x07\x7f\xc9\x05\xd9\x10\xe9\x00\x40", 16) << "";
        QTest::newRow("a SysEx in between is read past")
            << QByteArray("\x99\x24\x64\xf0\x7e\x7f\x09\x01\xf7\x99\x26\x30", 12) << "9:36:100 9:38:48";
        QTest::newRow("a clock byte inside a message changes nothing")
            << QByteArray("\x99\x24\xf8\x64", 4) << "9:36:100";
        QTest::newRow("a message cut short by the next status is dropped")
            << QByteArray("\x99\x24\x99\x26\x30", 5) << "9:38:48";
        QTest::newRow("data without a status is read past") << QByteArray("\x24\x64\x99\x24\x64", 5) << "9:36:100";
        QTest::newRow("a system common message ends the running status")
            << QByteArray("\x99\x24\x64\xf2\x00\x00\x24\x64", 8) << "9:36:100";
        QTest::newRow("a SysEx cut short by a note-on lets it through")
            << QByteArray("\xf0\x01\x02\x90\x3c\x7f", 6) << "0:60:127";
    }

    void theHitsOfAStream()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, hits);
        MidiDecoder decoder;
        QStringList heard;
        MidiDecoder::Note note;
        for (const char byte : bytes)
            if (decoder.feed(std::uint8_t(byte), note))
                heard << QString("%1:%2:%3").arg(note.channel).arg(note.note).arg(note.velocity);
        QCOMPARE(heard.join(' '), hits);
    }
};

QTEST_GUILESS_MAIN(TestMidiDecoder)
#include "tst_mididecoder.moc"
