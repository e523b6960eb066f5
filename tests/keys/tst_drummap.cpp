#include "keys/DrumMap.h"

#include <QTest>

// Which key's sound a MIDI note plays: the General MIDI drums on the kit, and
// the notes a user taught, as the map file keeps them.
class TestDrumMap : public QObject
{
    Q_OBJECT

private slots:
    void generalMidiNotesPlayTheNearestDrum_data()
    {
        QTest::addColumn<int>("note");
        QTest::addColumn<QString>("key");
        const QList<QPair<QList<int>, QString>> drums = {
            {{35, 36}, "V"}, {{38, 40}, "B"}, {{42, 44, 46}, "J"}, {{41, 43}, "F"},
            {{45, 47}, "G"}, {{48, 50}, "H"}, {{49, 57, 51}, "K"}, {{20, 26, 88, 127}, ""}};
        for (const auto &[notes, key] : drums)
            for (const int note : notes)
                QTest::addRow("note %d plays %s", note, key.isEmpty() ? "nothing" : qPrintable(key)) << note << key;
    }

    void generalMidiNotesPlayTheNearestDrum()
    {
        QFETCH(int, note);
        QFETCH(QString, key);
        const std::uint8_t played = DrumMap().keyFor(std::uint8_t(note));
        QCOMPARE(played == 0 ? QString() : QString(QChar(played)), key);
    }

    void aMapFileTeachesItsNotesAndSkipsWhatItCannotRead()
    {
        std::vector<DrumMap::Fault> faults;
        const DrumMap map = DrumMap::fromText("# taught\n36 b\n\n38 È   # accented\n"
                                              "200 V\nforty K\n40\n41 VV\n42 1\n43 ?\r\n",
                                              faults);
        QCOMPARE(map.keyFor(36), std::uint8_t('B'));
        QCOMPARE(map.keyFor(38), std::uint8_t(0xC8)); // È, upper case as the pattern field has it
        QCOMPARE(map.keyFor(41), std::uint8_t('F'));  // a bad line leaves the General MIDI key
        QCOMPARE(map.keyFor(42), std::uint8_t('1'));  // a digit plays "nu"
        std::vector<int> lines;
        for (const DrumMap::Fault &f : faults)
            lines.push_back(f.line);
        QCOMPARE(lines, (std::vector<int>{5, 6, 7, 8, 10}));
        // What it writes, it reads back.
        std::vector<DrumMap::Fault> none;
        const DrumMap again = DrumMap::fromText(map.text(), none);
        QVERIFY(none.empty());
        for (int note = 0; note < 128; ++note)
            QCOMPARE(again.keyFor(std::uint8_t(note)), map.keyFor(std::uint8_t(note)));
    }
};

QTEST_GUILESS_MAIN(TestDrumMap)
#include "tst_drummap.moc"
