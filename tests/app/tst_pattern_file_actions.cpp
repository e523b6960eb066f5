#include "app/Form1.h"
#include "app/PatternField.h"
#include "sound/LoopRenderer.h"
#include "sound/SoundBank.h"
#include "support/FormControls.h"
#include "support/RecordingSink.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

// Patterns and loops to and from files, as the user reaches them: the
// pattern field's context menu, a file dropped on the window.
class TestPatternFileActions : public QObject
{
    Q_OBJECT

    RecordingSink m_sink;
    std::unique_ptr<Form1> m_form;
    QTemporaryDir m_dir;
    QString m_chosen; // what the file dialog answers
    QStringList m_asked;

    Platform platform()
    {
        Platform p = Platform::system();
        p.chooseFile = [this](QWidget *, const QString &title, const QString &, const QString &, bool) {
            m_asked << title;
            return m_chosen;
        };
        return p;
    }

    PatternField *field() const { return control<PatternField>(m_form.get(), "Text1"); }

    void trigger(const char *action)
    {
        auto *a = m_form->findChild<QAction *>(QLatin1String(action));
        QVERIFY2(a, action);
        a->trigger();
    }

    QString message() const
    {
        const auto boxes = m_form->findChildren<QMessageBox *>();
        return boxes.isEmpty() ? QString() : boxes.front()->objectName() + QLatin1Char(':') + boxes.front()->text();
    }

    QString file(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
        return path;
    }

    static QByteArray contents(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
    }

    void drop(const QList<QUrl> &urls)
    {
        QMimeData mime;
        mime.setUrls(urls);
        const QPoint at(10, 10);
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_form.get(), &enter);
        if (!enter.isAccepted())
            return;
        QDropEvent dropped(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_form.get(), &dropped);
    }

private slots:
    void initTestCase()
    {
        // No sample folder of the user's from this machine.
        qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toUtf8());
    }

    void init()
    {
        m_sink.clear();
        m_chosen.clear();
        m_asked.clear();
        m_form = std::make_unique<Form1>(m_sink, platform(), false);
        QVERIFY(hasControls(m_form.get()));
        m_form->Form_Load();
    }

    void cleanup() { m_form.reset(); }

    void theMenuHasTheStandardEntriesThenThePatterns()
    {
        std::unique_ptr<QMenu> menu(field()->createContextMenu());
        QStringList texts;
        for (QAction *a : menu->actions())
            texts << (a->isSeparator() ? QStringLiteral("--") : a->text());
        QCOMPARE(texts.mid(texts.size() - 4),
                 (QStringList{"--", "Apri pattern…", "Salva pattern…", "Esporta il loop…"}));
        QVERIFY2(texts.size() > 8, qPrintable(texts.join('|'))); // undo, cut, copy, paste... first
    }

    void openingAPattern_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // the file, or "(none)" for no file
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("said");
        QTest::newRow("a pattern file") << QByteArray("KVB") << false << "KVB"
                                        << "";
        QTest::newRow("Windows-1252, as the window writes it") << QByteArray("\xc8 \xd9") << false << "È Ù"
                                                               << "";
        QTest::newRow("cancelled: nothing changes") << QByteArray("KVB") << true << "V B VVF"
                                                    << "";
        QTest::newRow("no such file: said, and the field as it was") << QByteArray("(none)") << false << "V B VVF"
                                                                     << "patternOpenFailure";
    }

    void openingAPattern()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, cancel);
        QFETCH(QString, shown);
        QFETCH(QString, said);
        const QString path = bytes == "(none)" ? m_dir.filePath("missing.txt") : file("p.txt", bytes);
        m_chosen = cancel ? QString() : path;
        QCOMPARE(field()->text(), QStringLiteral("V B VVF"));
        trigger("openPattern");
        QCOMPARE(m_asked, QStringList{"Apri pattern"});
        QCOMPARE(field()->text(), shown);
        QCOMPARE(message().section(':', 0, 0), said);
        if (!said.isEmpty())
            QVERIFY(message().contains(QStringLiteral("Impossibile aprire il pattern")));
    }

    void savingAPattern()
    {
        m_chosen = m_dir.filePath("saved.txt");
        field()->setText(QStringLiteral("ÈK-"));
        trigger("savePattern");
        QCOMPARE(m_asked, QStringList{"Salva pattern"});
        QCOMPARE(contents(m_chosen), QByteArray("\xc8K-\r\n")); // one line, as pattern files are
        QCOMPARE(message(), QString());
    }

    void aPatternThatCannotBeSavedIsSaid()
    {
        m_chosen = m_dir.filePath("no/such/folder/saved.txt");
        trigger("savePattern");
        QVERIFY(message().startsWith(QStringLiteral("patternSaveFailure:Impossibile salvare il pattern")));
        QVERIFY(!QFile::exists(m_chosen));
    }

    void aDroppedFileOpens_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<bool>("local");
        QTest::addColumn<QString>("shown");
        QTest::newRow("one pattern file") << 1 << true << "GHF";
        QTest::newRow("two files at once: not taken") << 2 << true << "V B VVF";
        QTest::newRow("not a local file: not taken") << 1 << false << "V B VVF";
    }

    void aDroppedFileOpens()
    {
        QFETCH(int, files);
        QFETCH(bool, local);
        QFETCH(QString, shown);
        QList<QUrl> urls;
        for (int i = 0; i < files; ++i) {
            const QString path = file(QStringLiteral("drop%1.txt").arg(i), "GHF");
            urls << (local ? QUrl::fromLocalFile(path) : QUrl(QStringLiteral("https://example.org/p.txt")));
        }
        drop(urls);
        QCOMPARE(field()->text(), shown);
        QCOMPARE(message(), QString());
    }

    void aDroppedFileThatCannotBeReadIsSaid()
    {
        drop({QUrl::fromLocalFile(m_dir.filePath("gone.txt"))});
        QCOMPARE(field()->text(), QStringLiteral("V B VVF"));
        QVERIFY(message().startsWith(QStringLiteral("patternOpenFailure:")));
    }

    void exportingTheLoopWritesFourLoopsOfThePattern()
    {
        m_chosen = m_dir.filePath("loop.wav");
        field()->setText(QStringLiteral("VB"));
        trigger("exportLoop");
        QCOMPARE(m_asked, QStringList{"Esporta il loop"});
        QCOMPARE(message(), QString());
        const QByteArray bytes = contents(m_chosen);
        // 4 loops of 7 steps of 200 ms, 16-bit stereo, after a 44-byte header.
        QCOMPARE(bytes.size(), qsizetype(44 + 4 * 7 * 9600 * 4));
        // The very render of that pattern, sample for sample.
        LoopRenderer::StepNames names;
        names[0] = "V";
        names[1] = "B";
        const std::vector<float> render = LoopRenderer({SoundBank::programSampleFolder()}).render(names, 4);
        for (std::size_t i = 0; i < render.size(); ++i) {
            const auto sample =
                qint16(quint16(quint8(bytes[qsizetype(44 + 2 * i)]) | quint8(bytes[qsizetype(45 + 2 * i)]) << 8));
            if (sample != std::lround(std::clamp(render[i], -1.0f, 1.0f) * 32767.0f))
                QFAIL(qPrintable(QString("sample %1 differs").arg(i)));
        }
    }

    void aLoopThatCannotBeWrittenIsSaid()
    {
        m_chosen = m_dir.filePath("no/such/folder/loop.wav");
        trigger("exportLoop");
        QVERIFY(message().startsWith(QStringLiteral("loopExportFailure:Impossibile esportare il loop")));
    }
};

QTEST_MAIN(TestPatternFileActions)
#include "tst_pattern_file_actions.moc"
