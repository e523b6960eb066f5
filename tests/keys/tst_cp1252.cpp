#include "keys/Cp1252.h"

#include <QTest>

class TestCp1252 : public QObject
{
    Q_OBJECT

private slots:
    void upperCase_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("upper");
        QTest::newRow("a becomes A") << 0x61 << 0x41;
        QTest::newRow("z becomes Z") << 0x7A << 0x5A;
        QTest::newRow("à becomes À") << 0xE0 << 0xC0;
        QTest::newRow("è becomes È") << 0xE8 << 0xC8;
        QTest::newRow("é becomes É") << 0xE9 << 0xC9;
        QTest::newRow("ò becomes Ò") << 0xF2 << 0xD2;
        QTest::newRow("þ becomes Þ") << 0xFE << 0xDE;
        QTest::newRow("ÿ becomes Ÿ") << 0xFF << 0x9F;
        QTest::newRow("š becomes Š") << 0x9A << 0x8A;
        QTest::newRow("œ becomes Œ") << 0x9C << 0x8C;
        QTest::newRow("ž becomes Ž") << 0x9E << 0x8E;
        QTest::newRow("capitals stay") << 0x56 << 0x56;
        QTest::newRow("È stays") << 0xC8 << 0xC8;
        QTest::newRow("ß has no capital in the set") << 0xDF << 0xDF;
        QTest::newRow("µ has no capital in the set") << 0xB5 << 0xB5;
        QTest::newRow("÷ is no letter") << 0xF7 << 0xF7;
        QTest::newRow("× is no letter") << 0xD7 << 0xD7;
        QTest::newRow("Backspace stays") << 8 << 8;
        QTest::newRow("Ctrl+A stays") << 1 << 1;
        QTest::newRow("hyphen stays") << 0x2D << 0x2D;
        QTest::newRow("£ stays") << 0xA3 << 0xA3;
    }

    void upperCase()
    {
        QFETCH(int, code);
        QFETCH(int, upper);
        QCOMPARE(int(Cp1252::toUpper(std::uint8_t(code))), upper);
    }

    void upperCaseAgreesWithUnicode()
    {
        // Where the set holds the Unicode capital of a letter, that is the result.
        for (int code = 0; code < 256; ++code) {
            const auto ch = Cp1252::toUnicode(std::uint8_t(code));
            if (!ch)
                continue;
            const QString upper = QString::fromUcs4(&*ch, 1).toUpper();
            const auto expected = upper.size() == 1 ? Cp1252::fromUnicode(upper.at(0).unicode()) : std::nullopt;
            const int want = expected ? *expected : code;
            QVERIFY2(Cp1252::toUpper(std::uint8_t(code)) == want, qPrintable(QString::number(code, 16)));
        }
    }

    void codesRoundTrip()
    {
        int defined = 0;
        for (int code = 0; code < 256; ++code) {
            const auto ch = Cp1252::toUnicode(std::uint8_t(code));
            if (!ch)
                continue;
            ++defined;
            QCOMPARE(Cp1252::fromUnicode(*ch), std::optional<std::uint8_t>(std::uint8_t(code)));
        }
        QCOMPARE(defined, 251);
        QCOMPARE(*Cp1252::toUnicode(0x80), char32_t(0x20AC));
        QCOMPARE(*Cp1252::fromUnicode(U'€'), std::uint8_t(0x80));
    }

    void charactersOutsideTheSet_data()
    {
        QTest::addColumn<uint>("ch");
        QTest::newRow("Greek alpha") << uint(0x3B1);
        QTest::newRow("Cyrillic Zhe") << uint(0x416);
        QTest::newRow("C1 control 0x81") << uint(0x81);
        QTest::newRow("emoji") << uint(0x1F941);
    }

    void charactersOutsideTheSet()
    {
        QFETCH(uint, ch);
        QVERIFY(!Cp1252::fromUnicode(char32_t(ch)));
    }
};

QTEST_APPLESS_MAIN(TestCp1252)
#include "tst_cp1252.moc"
