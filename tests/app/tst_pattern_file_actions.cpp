#include "app/ColourButton.h"
#include "app/Form1.h"
#include "app/PatternField.h"
#include "sound/LoopRenderer.h"
#include "sound/SampleFolders.h"
#include "support/WindowFixture.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QToolTip>
#include <QUrl>

#include <memory>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

// Patterns and loops to and from files, as the user reaches them: the
// pattern field's context menu, a file dropped on the window.
class TestPatternFileActions : public QObject, public WindowFixture
{
    Q_OBJECT

    QTemporaryDir m_dir;

    PatternField *field() const { return control<PatternField>(m_form.get(), "Text1"); }

    void trigger(const char *action)
    {
        auto *a = m_form->findChild<QAction *>(QLatin1String(action));
        QVERIFY2(a, action);
        a->trigger();
    }

    // Exports the loop to the file the dialog answers: in the background,
    // the entry greyed meanwhile.
    void exportLoop()
    {
        auto *entry = m_form->findChild<QAction *>(QStringLiteral("exportLoop"));
        QVERIFY(entry);
        entry->trigger();
        QVERIFY2(!entry->isEnabled(), "the export ran on the window's thread");
        QTRY_VERIFY_WITH_TIMEOUT(entry->isEnabled(), 20000);
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
        makeWindow();
        m_form->Form_Load();
    }

    void cleanup() { m_form.reset(); }

    void theMenuHasTheStandardEntriesThenThePatterns()
    {
        std::unique_ptr<QMenu> menu(field()->createContextMenu());
        QStringList texts;
        for (QAction *a : menu->actions())
            texts << (a->isSeparator() ? QStringLiteral("--")
                                       : a->text() + QLatin1Char('\t') + a->shortcut().toString());
        QCOMPARE(texts.mid(texts.size() - 5),
                 (QStringList{"--", "&Apri il pattern…\tCtrl+O", "&Salva il pattern…\tCtrl+S",
                              "&Esporta il loop come WAV…\tCtrl+E", "Tem&po…\t"}));
        QVERIFY2(texts.size() > 8, qPrintable(texts.join('|'))); // undo, cut, copy, paste... first
    }

    void eachEntryHasItsShortcutInTheField_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("asked");
        QTest::newRow("Ctrl+O opens") << int(Qt::Key_O) << "Apri il pattern";
        QTest::newRow("Ctrl+S saves") << int(Qt::Key_S) << "Salva il pattern";
        QTest::newRow("Ctrl+E exports") << int(Qt::Key_E) << "Esporta il loop come WAV";
    }

    void eachEntryHasItsShortcutInTheField()
    {
        QFETCH(int, key);
        QFETCH(QString, asked);
        m_form->show();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        field()->setFocus();
        QTest::keyClick(field(), Qt::Key(key), Qt::ControlModifier);
        QCOMPARE(m_asked, QStringList{asked});
        QCOMPARE(field()->text(), QStringLiteral("V B VVF"));
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
        QTest::newRow("an empty file empties the field") << QByteArray("") << false << ""
                                                         << "";
        QTest::newRow("no such file: said why, and the field as it was")
            << QByteArray("(none)") << false << "V B VVF"
            << "patternOpenFailure:Impossibile aprire il pattern: il file non esiste.";
        QTest::newRow("a WAV file is no pattern: said why, and the field as it was")
            << QByteArray("RIFF\x24\x08\0\0WAVEfmt ", 16) << false << "V B VVF"
            << "patternOpenFailure:Impossibile aprire il pattern: il file non contiene un pattern di Tamvolo.";
        QTest::newRow("a folder: said why")
            << QByteArray("(folder)") << false << "V B VVF"
            << "patternOpenFailure:Impossibile aprire il pattern: non è un file normale.";
    }

    void openingAPattern()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, cancel);
        QFETCH(QString, shown);
        QFETCH(QString, said);
        const QString path = bytes == "(none)" ? m_dir.filePath("missing.txt")
            : bytes == "(folder)"              ? m_dir.path()
                                               : file("p.txt", bytes);
        m_chosen = cancel ? QString() : path;
        QCOMPARE(field()->text(), QStringLiteral("V B VVF"));
        trigger("openPattern");
        QCOMPARE(m_asked, QStringList{"Apri il pattern"});
        QCOMPARE(field()->text(), shown);
        // What failed and why, then the file on a line of its own.
        QCOMPARE(message(), said.isEmpty() ? said : said + QLatin1Char('\n') + path);
    }

    void ctrlZBringsBackThePatternReplaced_data()
    {
        QTest::addColumn<QString>("after");
        QTest::newRow("by a file opened") << QStringLiteral("KVB");
        QTest::newRow("by Cancella tutto") << QString();
    }

    void ctrlZBringsBackThePatternReplaced()
    {
        QFETCH(QString, after);
        if (after.isEmpty()) {
            control<QPushButton>(m_form.get(), "CmdCance")->click();
        } else {
            m_chosen = file("p.txt", after.toLatin1());
            trigger("openPattern");
        }
        QCOMPARE(field()->text(), after);
        QTest::keyClick(field(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(field()->text(), QStringLiteral("V B VVF"));
    }

    void aSavedPatternOpensAsItWas_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::newRow("seven characters") << "V B VVF";
        QTest::newRow("three characters") << "ABC";
        QTest::newRow("empty") << "";
        QTest::newRow("accented") << "ÈÒ-£";
    }

    void aSavedPatternOpensAsItWas()
    {
        QFETCH(QString, pattern);
        m_chosen = m_dir.filePath("p.tamvolo");
        field()->setText(pattern);
        trigger("savePattern");
        field()->setText(QStringLiteral("XXXXXXX"));
        trigger("openPattern");
        QCOMPARE(field()->text(), pattern);
        QCOMPARE(m_sink.names.size(), 0); // nothing sounds
    }

    void cancellaTuttoEmptiesTheFieldAndNothingElse()
    {
        auto *play = control<ColourButton>(m_form.get(), "Command2");
        m_form->Command2_Click();
        const QColor playColour = play->backColour();
        play->setEnabled(false);
        control<QPushButton>(m_form.get(), "CmdCance")->click();
        QCOMPARE(field()->text(), QString());
        QVERIFY(!play->isEnabled());
        QCOMPARE(play->backColour(), playColour);
        QCOMPARE(m_sink.names.size(), 0);
        QCOMPARE(field()->font().underline(), true);
        m_form->CmdCance_Click(); // on an empty field: no change
        QCOMPARE(field()->text(), QString());
        QTRY_VERIFY_WITH_TIMEOUT(!m_sink.names.isEmpty(), 10000); // the loop goes on
    }

    void savingAPattern()
    {
        m_chosen = m_dir.filePath("saved.txt");
        field()->setText(QStringLiteral("ÈK-"));
        trigger("savePattern");
        QCOMPARE(m_asked, QStringList{"Salva il pattern"});
        QCOMPARE(contents(m_chosen), QByteArray("\xc8K-\r\n")); // one line, as pattern files are
        QCOMPARE(message(), QString());
        QCOMPARE(QToolTip::text(), QStringLiteral("Pattern salvato: saved.txt")); // a brief sign
    }

    void aPatternThatCannotBeSavedIsSaid()
    {
        m_chosen = m_dir.filePath("no/such/folder/saved.txt");
        trigger("savePattern");
        QCOMPARE(message(), "patternSaveFailure:Impossibile salvare il pattern: la cartella non esiste.\n" + m_chosen);
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

    void aDroppedNameHoldingANulIsNotTaken()
    {
        const QString path = file(QStringLiteral("secret"), "GHF");
        drop({QUrl(QUrl::fromLocalFile(path).toString() + QStringLiteral("%00.txt"))});
        QCOMPARE(field()->text(), QStringLiteral("V B VVF")); // not "secret", cut at the NUL
    }

    void aDroppedFileThatCannotBeReadIsSaid()
    {
        drop({QUrl::fromLocalFile(m_dir.filePath("gone.txt"))});
        QCOMPARE(field()->text(), QStringLiteral("V B VVF"));
        QVERIFY(message().startsWith(QStringLiteral("patternOpenFailure:")));
    }

    void exportingTheLoopWritesFourLoopsOfThePattern_data()
    {
        QTest::addColumn<int>("stepsPerMinute"); // set in the "Tempo" dialog; 0: left as it is
        QTest::addColumn<int>("stepFrames");
        QTest::newRow("the default tempo: 200 ms a step") << 0 << 9600;
        QTest::newRow("120 steps a minute") << 120 << 24000;
        QTest::newRow("180 steps a minute") << 180 << 16000;
    }

    void exportingTheLoopWritesFourLoopsOfThePattern()
    {
        QFETCH(int, stepsPerMinute);
        QFETCH(int, stepFrames);
        if (stepsPerMinute) {
            const QString kept = m_dir.filePath("tempo");
            m_form->useTempoFile(kept.toStdString());
            trigger("chooseTempo");
            auto *steps = m_form->findChild<QSpinBox *>(QStringLiteral("tempoSteps"));
            QVERIFY(steps && steps->isVisible());
            steps->setValue(stepsPerMinute);
            qobject_cast<QDialog *>(steps->window())->reject();
            QCOMPARE(contents(kept),
                     "steps=" + QByteArray::number(stepsPerMinute) + "\nswing=0\n"); // for the next start
        }
        m_chosen = m_dir.filePath("loop.wav");
        field()->setText(QStringLiteral("VB"));
        exportLoop();
        QCOMPARE(m_asked, QStringList{"Esporta il loop come WAV"});
        QCOMPARE(message(), "loopExported:Loop esportato in:\n" + m_chosen);
        const QByteArray bytes = contents(m_chosen);
        // 4 loops of 7 steps, 16-bit stereo, after a 44-byte header.
        QCOMPARE(bytes.size(), qsizetype(44 + 4 * 7 * stepFrames * 4));
        // The very render of that pattern, sample for sample.
        LoopRenderer::StepNames names;
        names[0] = "V";
        names[1] = "B";
        const std::vector<float> render =
            LoopRenderer({SampleFolders::program()}).render(names, 4, {stepsPerMinute ? stepsPerMinute : 300, 0});
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
        exportLoop();
        QCOMPARE(message(), "loopExportFailure:Impossibile esportare il loop: la cartella non esiste.\n" + m_chosen);
    }

    void filesAreWrittenOnlyWhereTheyMayBe_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("written");
        QTest::addColumn<QString>("why"); // what the refusal says
        for (const char *action : {"exportLoop", "savePattern"}) {
            const QString a = QLatin1String(action);
            QTest::addRow("%s through another user's link in a sticky shared folder: refused", action)
                << a << "foreign link" << false << "permesso negato";
            QTest::addRow("%s through the user's own link there: written", action) << a << "own link" << true << "";
            QTest::addRow("%s over a named pipe: refused", action) << a << "fifo" << false << "non è un file normale";
            QTest::addRow("%s over a device: refused", action) << a << "device" << false << "non è un file normale";
            QTest::addRow("%s over a file with two names: both kept", action) << a << "hard link" << true << "";
            QTest::addRow("%s under a file-size limit: refused, and the program lives", action)
                << a << "size limit" << false << "il file supera la dimensione consentita";
        }
    }

    void filesAreWrittenOnlyWhereTheyMayBe()
    {
        QFETCH(QString, action);
        QFETCH(QString, target);
        QFETCH(bool, written);
        QFETCH(QString, why);
        const bool root = ::geteuid() == 0;
        if (!root && (target.endsWith(QLatin1String("link")) || target == QLatin1String("device")))
            QSKIP("needs root: links of another user, device nodes");
        QTemporaryDir place; // fresh for every row
        const QString secret = place.filePath(QStringLiteral("secret"));
        QFile secretFile(secret);
        QVERIFY(secretFile.open(QIODevice::WriteOnly));
        secretFile.write("SECRET");
        secretFile.close();
        const QString shared = place.filePath(QStringLiteral("shared"));
        QVERIFY(QDir().mkpath(shared));
        QCOMPARE(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
        m_chosen = shared + QStringLiteral("/out");
        const QByteArray chosen = QFile::encodeName(m_chosen);
        if (target.endsWith(QLatin1String(" link")) && target != QLatin1String("hard link")) {
            QVERIFY(QFile::link(secret, m_chosen));
            const uid_t owner = target == QLatin1String("foreign link") ? 65534 : ::geteuid();
            QCOMPARE(::lchown(chosen.constData(), owner, owner), 0);
        } else if (target == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(chosen.constData(), 0666), 0);
        } else if (target == QLatin1String("device")) {
            QCOMPARE(::mknod(chosen.constData(), S_IFCHR | 0666, makedev(1, 3)), 0); // like /dev/null
        } else if (target == QLatin1String("hard link")) {
            QCOMPARE(::link(QFile::encodeName(secret).constData(), chosen.constData()), 0);
        }
        struct rlimit old = {};
        ::getrlimit(RLIMIT_FSIZE, &old);
        if (target == QLatin1String("size limit")) {
            struct rlimit small = old;
            small.rlim_cur = action == QLatin1String("exportLoop") ? 200 * 1024 : 2;
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        }
        if (action == QLatin1String("exportLoop"))
            exportLoop();
        else
            trigger("savePattern");
        ::setrlimit(RLIMIT_FSIZE, &old);

        QCOMPARE(message().contains(QStringLiteral("Failure:")), !written);
        if (!written)
            QCOMPARE(message().section(QLatin1Char('\n'), 0, 0).section(QStringLiteral(": "), 1),
                     why + QLatin1Char('.'));
        struct stat st = {};
        QCOMPARE(::lstat(chosen.constData(), &st), target == QLatin1String("size limit") ? -1 : 0);
        if (target == QLatin1String("fifo"))
            QVERIFY(S_ISFIFO(st.st_mode));
        if (target == QLatin1String("device"))
            QVERIFY(S_ISCHR(st.st_mode));
        const bool secretWritten = target == QLatin1String("own link") || target == QLatin1String("hard link");
        QCOMPARE(contents(secret) != QByteArray("SECRET"), secretWritten);
        if (target == QLatin1String("hard link"))
            QCOMPARE(contents(m_chosen), contents(secret)); // one file, two names
    }
};

QTEST_MAIN(TestPatternFileActions)
#include "tst_pattern_file_actions.moc"
