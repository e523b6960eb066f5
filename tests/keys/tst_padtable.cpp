#include "keys/PadTable.h"

#include <QSet>
#include <QTest>

#include <map>

using Files = QList<QByteArray>;
Q_DECLARE_METATYPE(Files)

class TestPadTable : public QObject
{
    Q_OBJECT

private:
    static Files lookup(std::uint8_t key)
    {
        Files files;
        for (std::string_view f : PadTable::lookup(key))
            files << QByteArray(f.data(), qsizetype(f.size()));
        return files;
    }

private slots:
    void everyKeyPlaysItsFiles_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Files>("files");
        const std::map<QByteArray, QList<int>> table = {
            {"a.wav", {65, 192}},
            {"b.wav", {66}},
            {"d.wav", {68}},
            {"e.wav", {69}},
            {"\xc3\xa8.wav", {200, 201}},
            {"f.wav", {70}},
            {"g.wav", {71}},
            {"h.wav", {72}},
            {"i.wav", {73, 89, 204}},
            {"J.wav", {74}},
            {"k.wav", {67, 75}},
            {"l.wav", {76}},
            {"m.wav", {77}},
            {"n.wav", {78}},
            {"o.wav", {79}},
            {"\xc3\xb2.wav", {210}},
            {"p.wav", {80}},
            {"q.wav", {81}},
            {"r.wav", {82}},
            {"s.wav", {83}},
            {"t.wav", {84}},
            {"u.wav", {85, 87, 217}},
            {"v.wav", {86}},
            {"x.wav", {88}},
            {"z.wav", {90}},
            {"Stamp.wav", {44, 39}},
            {"Explode.wav", {46}},
            {"sla.wav", {32, 92}},
            {"Laser.wav", {47, 42, 43}},
            {"nu.wav", {48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 163}},
            {"trat.wav", {95}},
        };
        for (const auto &[file, keys] : table)
            for (int key : keys)
                QTest::addRow("key %d plays %s", key, file.constData()) << key << Files{file};
        QTest::newRow("the hyphen plays Laser.wav, then trat.wav") << 45 << Files{"Laser.wav", "trat.wav"};
    }

    void everyKeyPlaysItsFiles()
    {
        QFETCH(int, key);
        QFETCH(Files, files);
        QCOMPARE(lookup(std::uint8_t(key)), files);
    }

    void everyOtherKeyPlaysNothing()
    {
        QSet<int> keys;
        for (const PadTable::Row &row : PadTable::rows())
            keys.insert(row.key);
        QCOMPARE(PadTable::rows().size(), std::size_t(54));
        QCOMPARE(keys.size(), 53);
        for (int key = 0; key < 256; ++key) {
            if (!keys.contains(key))
                QVERIFY2(lookup(std::uint8_t(key)).isEmpty(), qPrintable(QString::number(key)));
        }
        // Lower-case letters, Backspace, Enter and the semicolon have no row.
        QVERIFY(lookup('v').isEmpty());
        QVERIFY(lookup(8).isEmpty());
        QVERIFY(lookup(13).isEmpty());
        QVERIFY(lookup(';').isEmpty());
    }

    void thereAreThirtyOneFiles()
    {
        QSet<QByteArray> files;
        for (const PadTable::Row &row : PadTable::rows())
            files.insert(QByteArray(row.file.data(), qsizetype(row.file.size())));
        QCOMPARE(files.size(), 31);
    }
};

QTEST_APPLESS_MAIN(TestPadTable)
#include "tst_padtable.moc"
