#include "app/RecorderWindow.h"
#include "app/TakeView.h"
#include "sound/SampleFolders.h"
#include "sound/WavLoader.h"
#include "support/Correlation.h"
#include "support/FormControls.h"
#include "support/Microphone.h"
#include "support/RecordingSink.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>

#include <memory>

#include <sys/resource.h>

// The recorder window offline: the key chosen, a take read from SDL's disk
// driver (a file standing for the microphone), edited, heard, saved into the
// user's folder and removed again; no input device; a silent take.
class TestRecorder : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    RecordingSink m_sink;
    std::unique_ptr<RecorderWindow> m_window;
    QStringList m_questions; // asked of the user, who answers m_answer
    bool m_answer = true;

    QString userFolder() const { return m_dir.filePath(QStringLiteral("data/tamvolo/voc/")); }
    QString status() const { return control<QLabel>(m_window.get(), "statusLabel")->text(); }
    QPushButton *button(const char *name) const { return control<QPushButton>(m_window.get(), name); }

    static std::vector<float> kitLeft(const char *file)
    {
        const auto s = WavLoader::load(SampleFolders::program() + file, 48000);
        return s ? leftOf(s->stereo()) : std::vector<float>();
    }

    void microphoneHears(const std::vector<float> &sound, double before = 0.3)
    {
        QVERIFY(::microphoneHears(m_dir.filePath(QStringLiteral("microphone.raw")), sound, before));
    }

    // Types `text` at the window, one key event a character.
    void type(const QString &text)
    {
        for (const QChar ch : text) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
            QApplication::sendEvent(m_window.get(), &press);
        }
    }

    // Records for `ms` milliseconds.
    void recordFor(int ms)
    {
        button("record")->click();
        QVERIFY2(button("stop")->isEnabled(), qPrintable(status()));
        QTest::qWait(ms);
        button("stop")->click();
    }

    // A take of the kit's vowel, ready to save, for the key V.
    void recordAVowel()
    {
        const std::vector<float> vowel = kitLeft("a.wav");
        microphoneHears(vowel, 0.05);
        type(QStringLiteral("v"));
        recordFor(600 + int(vowel.size() / 48));
        QVERIFY2(button("save")->isEnabled(), qPrintable(status()));
    }

    static QByteArray contents(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    static void writeFile(const QString &path, const QByteArray &bytes)
    {
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

private slots:
    void initTestCase() { qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toUtf8()); }

    void init()
    {
        m_sink.clear();
        m_questions.clear();
        m_answer = true;
        m_window =
            std::make_unique<RecorderWindow>(m_sink, &SampleFolders::user, [this](QWidget *, const QString &question) {
                m_questions << question;
                return m_answer;
            });
        QVERIFY(hasControls(
            m_window.get(),
            {"keyLabel", "levelMeter", "timeLabel", "statusLabel", "record", "stop", "listen", "save", "restore"}));
        // Not shown: nothing here depends on painting, and Qt paints with a
        // thread pool ThreadSanitizer cannot follow.
    }

    void cleanup()
    {
        m_window.reset();
        QDir(userFolder()).removeRecursively();
    }

    void theKeyPressedChoosesTheSample_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("file"); // empty: refused
        QTest::addColumn<QString>("said");
        QTest::newRow("a drum") << "v"
                                << "v.wav"
                                << "Registra";
        QTest::newRow("an accented vowel") << "è"
                                           << "è.wav"
                                           << "Registra";
        QTest::newRow("a digit: the keys that share its sound named")
            << "5"
            << "nu.wav"
            << "anche il suono dei tasti «0», «1», «2», «3», «4», «6», «7», «8», «9» e «£».";
        QTest::newRow("the hyphen plays two samples: refused, saying which") << "-"
                                                                             << ""
                                                                             << "(Laser.wav e trat.wav)";
        QTest::newRow("the space is named") << " "
                                            << "sla.wav"
                                            << "Registra";
        QTest::newRow("a key without a sample: refused") << "@"
                                                         << ""
                                                         << "non ha un suono";
    }

    void theKeyPressedChoosesTheSample()
    {
        QFETCH(QString, typed);
        QFETCH(QString, file);
        QFETCH(QString, said);
        type(typed);
        QCOMPARE(m_window->fileName(), file);
        QVERIFY2(status().contains(said), qPrintable(status()));
        QCOMPARE(button("record")->isEnabled(), !file.isEmpty());
        QVERIFY(!button("restore")->isEnabled()); // nothing of the user's to remove
        if (!file.isEmpty())
            QVERIFY(control<QLabel>(m_window.get(), "keyLabel")->text().contains(file));
        if (typed == " ")
            QCOMPARE(control<QLabel>(m_window.get(), "keyLabel")->text(), QStringLiteral("Tasto «spazio»: sla.wav"));
        if (typed == "v") // a drum's key names its drum
            QCOMPARE(control<QLabel>(m_window.get(), "keyLabel")->text(), QStringLiteral("Tasto «V» (cassa): v.wav"));
    }

    void nothingIsRecordedBeforeAKeyIsChosen()
    {
        QVERIFY(!button("record")->isEnabled());
        m_window->record();
        QVERIFY(!button("stop")->isEnabled());
    }

    void theMeterShowsTheInputBeforeRegistra()
    {
        microphoneHears(std::vector<float>(48000 * 3, 0.5f), 0.0); // -6 dBFS
        type(QStringLiteral("v"));
        auto *meter = control<QProgressBar>(m_window.get(), "levelMeter");
        QTRY_VERIFY_WITH_TIMEOUT(meter->value() >= -7, 3000);
        QVERIFY(button("record")->isEnabled());
        QVERIFY(!button("save")->isEnabled()); // heard, not kept
        QVERIFY(control<QLabel>(m_window.get(), "timeLabel")->text().isEmpty());
    }

    void withoutAnInputDeviceItSaysSo()
    {
        qputenv("SDL_AUDIODRIVER", "no-such-driver");
        type(QStringLiteral("v"));
        button("record")->click();
        QVERIFY2(status().startsWith(QStringLiteral("Nessun dispositivo di ingresso")), qPrintable(status()));
        QVERIFY(button("record")->isEnabled()); // it can be tried again
        QVERIFY(!button("stop")->isEnabled());
        QVERIFY(!button("save")->isEnabled());
        QVERIFY(!QFile::exists(userFolder()));
    }

    void aSilentTakeIsRefused()
    {
        microphoneHears({});
        type(QStringLiteral("v"));
        recordFor(400);
        QVERIFY2(status().contains(QStringLiteral("nessun suono")), qPrintable(status()));
        QVERIFY(!button("save")->isEnabled());
        QVERIFY(!button("listen")->isEnabled());
    }

    void theTrimIsShownAndMovesFromTheKeyboard()
    {
        recordAVowel();
        auto *view = m_window->findChild<TakeView *>(QStringLiteral("takeView"));
        QVERIFY(view && view->isVisibleTo(m_window.get()));
        const TakeEditor::Span found = view->kept();
        QVERIFY2(found.begin > 0 && found.end <= view->take().size(), "the silence before the vowel is trimmed");
        QVERIFY2(status().contains(QStringLiteral(" s di ")), qPrintable(status())); // said, not done silently
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Home);
        for (int i = 0; i < 10; ++i)
            QTest::keyClick(view, Qt::Key_Left); // 100 ms more before the vowel
        QCOMPARE(view->kept().begin, found.begin - std::min<std::size_t>(found.begin, 4800));
        QTest::keyClick(view, Qt::Key_End);
        QTest::keyClick(view, Qt::Key_Left, Qt::ControlModifier); // 100 ms off its end
        QCOMPARE(view->kept().end, found.end - 4800);
        const std::size_t kept = view->kept().end - view->kept().begin;
        QCOMPARE(control<QLabel>(m_window.get(), "timeLabel")->text(),
                 QLocale(QLocale::Italian).toString(double(kept) / 48000, 'f', 1) + QStringLiteral(" s"));
        QVERIFY(view->accessibleDescription().startsWith(QStringLiteral("Tiene da ")));
        button("save")->click();
        const QByteArray saved = contents(userFolder() + QStringLiteral("v.wav"));
        const auto sound = WavLoader::decode(saved.data(), std::size_t(saved.size()), 48000);
        QVERIFY(sound);
        QCOMPARE(sound->frames(), kept); // what was kept, and nothing else
    }

    void aTakeIsEditedHeardSavedAndRestored()
    {
        const std::vector<float> vowel = kitLeft("a.wav");
        QVERIFY(!vowel.empty());
        microphoneHears(vowel);
        type(QStringLiteral("v"));
        recordFor(1500 + int(vowel.size() / 48));
        QVERIFY2(status().startsWith(QStringLiteral("Registrazione pronta")), qPrintable(status()));

        // Heard through the one voice, as it will be saved; "Ferma" stops it.
        button("listen")->click();
        QCOMPARE(m_sink.names, QStringList{"(wav)"});
        QVERIFY(button("stop")->isEnabled());
        button("stop")->click();
        QCOMPARE(m_sink.names, (QStringList{"(wav)", "(stop)"}));
        QVERIFY(!button("stop")->isEnabled());
        const auto heard = WavLoader::decode(m_sink.wavs.front().data(), m_sink.wavs.front().size(), 48000);
        QVERIFY(heard);
        QVERIFY(bestCorrelation(vowel, leftOf(heard->stereo()), 2000) >= 0.99);

        button("save")->click();
        const QString saved = userFolder() + QStringLiteral("v.wav");
        QVERIFY2(QFile::exists(saved), qPrintable(status()));
        QFile f(saved);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QCOMPARE(bytes, QByteArray::fromStdString(m_sink.wavs.front()));
        // 48 kHz, 16-bit, mono; trimmed to the vowel and 5 ms before it.
        QCOMPARE(quint8(bytes[22]), quint8(1));
        QCOMPARE(quint8(bytes[24]) | quint8(bytes[25]) << 8, 48000);
        QCOMPARE(quint8(bytes[34]), quint8(16));
        const double seconds = double(bytes.size() - 44) / 2 / 48000;
        QVERIFY2(seconds <= double(vowel.size()) / 48000 + 0.006, qPrintable(QString::number(seconds)));
        const auto loaded = WavLoader::load(saved.toStdString(), 48000);
        QVERIFY(loaded);
        QVERIFY(bestCorrelation(vowel, leftOf(loaded->stereo()), 2000) >= 0.99);

        QVERIFY(button("restore")->isEnabled());
        button("restore")->click();
        QVERIFY(!QFile::exists(saved));
        QVERIFY2(status().startsWith(QStringLiteral("Ripristinato")), qPrintable(status()));
        QVERIFY(!button("restore")->isEnabled()); // nothing left to remove
        // The take just removed was let go: another key asks nothing more.
        const qsizetype asked = m_questions.size();
        type(QStringLiteral("b"));
        QCOMPARE(m_questions.size(), asked);
        QCOMPARE(m_window->fileName(), QStringLiteral("b.wav"));
    }

    void duringATakeTheKeysGoToFerma()
    {
        microphoneHears(kitLeft("a.wav"));
        type(QStringLiteral("v"));
        button("record")->click();
        QCOMPARE(m_window->focusWidget(), button("stop"));
        QTest::qWait(600);
        QTest::keyClick(button("stop"), Qt::Key_Return); // Enter ends the take
        QVERIFY2(status().startsWith(QStringLiteral("Registrazione pronta")), qPrintable(status()));
        QVERIFY(m_window->focusWidget() != button("stop"));
    }

    void spacePressesTheFocusedButtonElseChoosesTheSpaceKeysSound_data()
    {
        QTest::addColumn<bool>("onTheButton");
        QTest::newRow("on \"Registra\": it records") << true;
        QTest::newRow("on the window: the space key's sound") << false;
    }

    void spacePressesTheFocusedButtonElseChoosesTheSpaceKeysSound()
    {
        QFETCH(bool, onTheButton);
        type(QStringLiteral("v"));
        QTest::keyClick(onTheButton ? static_cast<QWidget *>(button("record")) : m_window.get(), Qt::Key_Space);
        QCOMPARE(m_window->fileName(), onTheButton ? QStringLiteral("v.wav") : QStringLiteral("sla.wav"));
        QCOMPARE(button("stop")->isEnabled(), onTheButton);
        if (onTheButton)
            button("stop")->click();
    }

    void nothingRecordedIsLostWithoutAQuestion_data()
    {
        QTest::addColumn<QString>("action");
        QTest::newRow("Ripristina removes the saved recording") << "restore";
        QTest::newRow("Salva replaces an earlier recording") << "save";
        QTest::newRow("another key drops the unsaved take") << "key";
        QTest::newRow("Registra drops the unsaved take") << "record";
    }

    void nothingRecordedIsLostWithoutAQuestion()
    {
        QFETCH(QString, action);
        const QString saved = userFolder() + QStringLiteral("v.wav");
        writeFile(saved, "earlier");
        recordAVowel();
        auto act = [&] {
            if (action == QLatin1String("key"))
                type(QStringLiteral("b"));
            else
                button(qPrintable(action))->click();
        };

        m_answer = false;
        act();
        QCOMPARE(m_questions.size(), 1);
        QCOMPARE(contents(saved), QByteArray("earlier"));
        QCOMPARE(m_window->fileName(), QStringLiteral("v.wav"));
        QVERIFY(button("save")->isEnabled()); // the take is still there

        m_answer = true;
        act();
        QCOMPARE(m_questions.size(), 2);
        if (action == QLatin1String("restore"))
            QVERIFY(!QFile::exists(saved));
        else if (action == QLatin1String("save"))
            QVERIFY(contents(saved).startsWith("RIFF"));
        else if (action == QLatin1String("key")) {
            QCOMPARE(m_window->fileName(), QStringLiteral("b.wav"));
            QCOMPARE(control<QLabel>(m_window.get(), "timeLabel")->text(), QString()); // not the old take's
        } else
            QVERIFY(button("stop")->isEnabled());
        button("stop")->click();
    }

    void aTakeTheProgramCouldNotAskAboutComesBackAtTheNextStart()
    {
        // Ended by a signal or a logout, the program keeps the unsaved take;
        // the next start offers it back, unsaved, for its key.
        recordAVowel();
        const QString kept = m_dir.filePath(QStringLiteral("data/tamvolo/ripresa-non-salvata-86.wav"));
        QVERIFY(m_window->keepUnsavedTake());
        QVERIFY(QFile::exists(kept));
        const QByteArray take = contents(kept);
        m_window.reset();

        init();
        QVERIFY(RecorderWindow::keptTakeWaits(SampleFolders::user()));
        QVERIFY(m_window->offerKeptTake());
        QVERIFY2(status().contains(QStringLiteral("«V»")), qPrintable(status()));
        QVERIFY(!QFile::exists(kept));
        m_answer = false;
        QVERIFY(!m_window->mayEnd()); // unsaved again: asked about, and kept
        m_answer = true;
        button("save")->click();
        QCOMPARE(contents(userFolder() + QStringLiteral("v.wav")), take);
        QVERIFY(!m_window->keepUnsavedTake()); // saved: nothing to keep
    }

    void salvaReplacesALinkInTheFolderNotWhatItPointsTo()
    {
        const QString outside = m_dir.filePath(QStringLiteral("outside.wav"));
        writeFile(outside, "not a sample");
        QVERIFY(QDir().mkpath(userFolder()));
        QVERIFY(QFile::link(outside, userFolder() + QStringLiteral("v.wav")));
        recordAVowel();
        button("save")->click();
        QVERIFY2(status().startsWith(QStringLiteral("Salvato")), qPrintable(status()));
        QCOMPARE(contents(outside), QByteArray("not a sample"));
        QVERIFY(!QFileInfo(userFolder() + QStringLiteral("v.wav")).isSymLink());
        QVERIFY(contents(userFolder() + QStringLiteral("v.wav")).startsWith("RIFF"));
    }

    void ripristinaRemovesTheFileThatPlaysWhateverItsCase()
    {
        writeFile(userFolder() + QStringLiteral("V.WAV"), "RIFF");
        type(QStringLiteral("v"));
        button("restore")->click();
        QVERIFY2(status().startsWith(QStringLiteral("Ripristinato")), qPrintable(status()));
        QVERIFY(!QFile::exists(userFolder() + QStringLiteral("V.WAV")));
    }

    // (What the careful writer refuses, a file-size limit among it:
    // tst_pattern_file_actions, as the user saves a pattern or a loop.)
};

QTEST_MAIN(TestRecorder)
#include "tst_recorder.moc"
