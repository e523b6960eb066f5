#include "app/ColourButton.h"
#include "app/Form1.h"
#include "support/FormControls.h"
#include "support/RecordingSink.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

// The window's pattern services: the clear button, OpenFile and CloseFile.
class TestPatternServices : public QObject
{
    Q_OBJECT

    std::unique_ptr<Form1> m_form;
    RecordingSink m_sink;
    QTemporaryDir m_dir;

    QLineEdit *text1() const { return control<QLineEdit>(m_form.get(), "Text1"); }

private slots:
    void init()
    {
        m_sink.clear();
        m_form = std::make_unique<Form1>(m_sink);
        QVERIFY(hasControls(m_form.get()));
    }

    void cleanup() { m_form.reset(); }

    void clearEmptiesTheFieldAndNothingElse()
    {
        auto *play = control<ColourButton>(m_form.get(), "Command2");
        m_form->Command2_Click();
        const QColor playColour = play->backColour();
        play->setEnabled(false);
        control<QPushButton>(m_form.get(), "CmdCance")->click();
        QCOMPARE(text1()->text(), QString());
        QVERIFY(!play->isEnabled());
        QCOMPARE(play->backColour(), playColour);
        QCOMPARE(m_sink.names.size(), 0);
        QCOMPARE(text1()->font().underline(), true);
        m_form->CmdCance_Click(); // on an empty field: no change
        QCOMPARE(text1()->text(), QString());
        QTRY_VERIFY_WITH_TIMEOUT(!m_sink.names.isEmpty(), 10000); // the loop goes on
    }

    void saveThenLoadGivesBackThePattern_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::newRow("seven characters") << "V B VVF";
        QTest::newRow("three characters") << "ABC";
        QTest::newRow("empty") << "";
        QTest::newRow("accented") << "ÈÒ-£";
    }

    void saveThenLoadGivesBackThePattern()
    {
        QFETCH(QString, pattern);
        const QString file = m_dir.filePath(QStringLiteral("p.txt"));
        text1()->setText(pattern);
        QVERIFY(m_form->CloseFile(file));
        text1()->setText(QStringLiteral("XXXXXXX"));
        QVERIFY(m_form->OpenFile(file));
        QCOMPARE(text1()->text(), pattern);
        QCOMPARE(m_sink.names.size(), 0);
    }

    void aFileThatCannotBeReadLeavesTheField()
    {
        text1()->setText(QStringLiteral("AB"));
        QVERIFY(!m_form->OpenFile(m_dir.filePath(QStringLiteral("missing.txt"))));
        QCOMPARE(text1()->text(), QStringLiteral("AB"));
    }

    void aZeroByteFileEmptiesTheField()
    {
        const QString file = m_dir.filePath(QStringLiteral("zero.txt"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QVERIFY(m_form->OpenFile(file));
        QCOMPARE(text1()->text(), QString());
    }

    void aFailedSaveSaysSo() { QVERIFY(!m_form->CloseFile(m_dir.filePath(QStringLiteral("missing/folder/p.txt")))); }
};

QTEST_MAIN(TestPatternServices)
#include "tst_pattern_services.moc"
