#include "sound/KeyTake.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

// The recorder's take for one key, without its window: what counts as
// unsaved (and may not go without a question), and a take kept at an end
// nobody could be asked about coming back at the next start.
class TestKeyTake : public QObject
{
    Q_OBJECT

    static std::vector<float> tone()
    {
        std::vector<float> v(4800);
        for (std::size_t i = 0; i < v.size(); ++i)
            v[i] = 0.5f * float(std::sin(double(i) * 0.05));
        return v;
    }

private slots:
    void whatIsUnsavedAndWhatComesBack_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<bool>("unsaved");
        QTest::newRow("a new take is unsaved") << "take" << true;
        QTest::newRow("saved, it is not") << "take save" << false;
        QTest::newRow("saved, then a handle moved: unsaved again") << "take save trim" << true;
        QTest::newRow("kept at the end, it comes back unsaved at the next start") << "take keep back" << true;
        QTest::newRow("with no take there is nothing to keep") << "keep back" << false;
    }

    void whatIsUnsavedAndWhatComesBack()
    {
        QFETCH(QString, steps);
        QFETCH(bool, unsaved);
        QTemporaryDir dir;
        const std::string folder = dir.filePath(QStringLiteral("voc/")).toStdString();
        KeyTake take([folder] { return folder; });
        take.chooseKey('V', QStringLiteral("v.wav"));
        std::string kept;
        for (const QString &step : steps.split(' ')) {
            if (step == QLatin1String("take"))
                take.setTake(tone(), {100, 4000});
            else if (step == QLatin1String("save"))
                QCOMPARE(take.save().result, CarefulWriter::Result::Written);
            else if (step == QLatin1String("trim"))
                take.keep({200, 4000});
            else if (step == QLatin1String("keep")) {
                QCOMPARE(take.keepUnsaved(), take.unsaved());
                kept = take.wav();
            }
        }
        if (steps.endsWith(QLatin1String("back"))) {
            KeyTake next([folder] { return folder; });
            const auto key = next.takeBackKept([](std::uint8_t) { return QStringLiteral("v.wav"); });
            QCOMPARE(key.has_value(), !kept.empty());
            QCOMPARE(next.wav(), kept);                   // the bytes that were heard
            QVERIFY(KeyTake::keptTake(folder).isEmpty()); // taken back, or never there
            QCOMPARE(next.unsaved(), unsaved);
            return;
        }
        QCOMPARE(take.unsaved(), unsaved);
    }
};

QTEST_GUILESS_MAIN(TestKeyTake)
#include "tst_keytake.moc"
