#include "app/Form1.h"
#include "app/RecorderWindow.h"
#include "audio/AudioEngine.h"
#include "audio/outputs/OutputChoice.h"
#include "sound/SoundBank.h"
#include "sound/WavLoader.h"
#include "support/Correlation.h"
#include "support/FormControls.h"
#include "support/PrivatePulseServer.h"
#include "support/PulseCapture.h"
#include "support/RecordingSink.h"
#include "support/Tries.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <cmath>

// The recorder against a real sound server (the private PulseAudio instance
// of the `pulse` fixture): its input is the null sink's monitor, so what the
// program plays is what it records. A known sample is played, recorded,
// trimmed and saved as the sample of V, and the next V typed into the
// pattern field plays it.
class TestRecorderRealServer : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    static std::vector<float> kitLeft(const char *file)
    {
        const auto s = WavLoader::load(SampleFolders::program() + file, 48000);
        return s ? leftOf(s->stereo()) : std::vector<float>();
    }

    // The first frame louder than -45 dBFS, or -1.
    static long long firstSound(const std::vector<float> &v)
    {
        for (std::size_t i = 0; i < v.size(); ++i)
            if (std::abs(v[i]) > 0.0056f)
                return (long long)i;
        return -1;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariableIsSet("PULSE_SERVER"), "runs with the private sound server");
        qputenv("SDL_AUDIODRIVER", "pulseaudio");
        OutputChoice::prepareEnvironment(); // as the program does
        qputenv("PULSE_SOURCE", "tamvolo_out.monitor");
        qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toUtf8());
    }

    void aSoundRecordedFromTheServerIsTheNextKeysSample()
    {
        const std::vector<float> vowel = kitLeft("a.wav");
        QVERIFY(!vowel.empty());
        auto engine = std::make_shared<AudioEngine>();
        QVERIFY(engine->waitForOutput(std::chrono::seconds(5)));
        SoundBank bank(engine);
        Platform platform = Platform::system();
        platform.startProgram = [](const QString &, int) { return false; };
        platform.ask = [](QWidget *, const QString &) { return true; }; // a new take replaces the saved one
        Form1 form(bank, platform, false);
        QVERIFY(hasControls(&form));
        form.Form_Load();
        form.show();

        // The recorder button opens our recorder; V is the key to replace.
        control<QPushButton>(&form, "Command7")->click();
        auto *recorder = form.findChild<RecorderWindow *>(QStringLiteral("recorder"));
        QVERIFY(recorder);
        QKeyEvent v(QEvent::KeyPress, Qt::Key_V, Qt::NoModifier, QStringLiteral("v"));
        QApplication::sendEvent(recorder, &v);
        QCOMPARE(recorder->fileName(), QStringLiteral("v.wav"));

        // Recording while the program plays the vowel into the server. As
        // for the key below, a busy machine can cut into what the server
        // plays: recorded up to three times (a new take replaces the saved
        // one); a take that is not the sound played fails every try.
        const QString saved = m_dir.filePath(QStringLiteral("data/tamvolo/voc/v.wav"));
        std::vector<float> taken;
        double recorded = 0;
        tryUntilClean(
            [&] {
                control<QPushButton>(recorder, "record")->click();
                QVERIFY2(control<QPushButton>(recorder, "stop")->isEnabled(), qPrintable(recorder->status()));
                QTest::qWait(300);
                bank.playSample("a.wav", bank.nowNs());
                QTest::qWait(int(vowel.size() / 48) + 1000);
                control<QPushButton>(recorder, "stop")->click();
                QVERIFY2(recorder->status().startsWith(QStringLiteral("Registrazione pronta")),
                         qPrintable(recorder->status()));
                control<QPushButton>(recorder, "save")->click();
                const auto take = WavLoader::load(saved.toStdString(), 48000);
                QVERIFY2(take, qPrintable(recorder->status()));
                taken = leftOf(take->stereo());
                recorded = bestCorrelation(vowel, taken, 2000);
            },
            [&] { return recorded >= 0.99; },
            [&] {
                return QString("the saved take against the sample played: correlation %1").arg(recorded, 0, 'f', 4);
            });
        qInfo("the saved take against the sample played: correlation %.4f, %.3f s", recorded,
              double(taken.size()) / 48000);
        QVERIFY(recorded >= 0.99);
        QVERIFY(std::abs(double(taken.size()) - double(vowel.size())) < 0.05 * 48000); // trimmed to the sound

        // The next V typed into the pattern field plays the take. A busy
        // machine can cut into what the server plays: typed up to three
        // times; a key that plays anything but the take fails every try.
        auto *field = control<QLineEdit>(&form, "Text1");
        field->setFocus();
        std::vector<float> heard;
        double played = 0;
        tryUntilClean(
            [&] {
                PulseCapture capture;
                QVERIFY(capture.start());
                QTest::qWait(200);
                QTest::keyClick(field, 'v');
                QTest::qWait(int(taken.size() / 48) + 800);
                capture.stop();
                const std::vector<float> out = capture.left();
                const long long onset = firstSound(out);
                QVERIFY(onset >= 0);
                heard.assign(out.begin() + onset,
                             out.begin() + std::min<long long>(onset + (long long)taken.size(), (long long)out.size()));
                played = bestCorrelation(taken, heard, 500);
            },
            [&] { return played >= 0.99; },
            [&] { return QString("the key's sound against the take: correlation %1").arg(played, 0, 'f', 4); });
        QVERIFY(played >= 0.99);
        QVERIFY(bestCorrelation(kitLeft("v.wav"), heard, 500) < 0.9); // not the kit's bass drum
    }

    void aTakeWhoseServerStopsAnsweringOrDiesIsSaid_data()
    {
        QTest::addColumn<QString>("server"); // what happens to it
        QTest::addColumn<bool>("duringTheTake");
        QTest::addColumn<QString>("said");
        QTest::newRow("frozen before the key is chosen: control comes back at once")
            << "STOP" << false << "non risponde";
        QTest::newRow("frozen during the take: the stall is said") << "STOP" << true << "interrotto";
        QTest::newRow("killed during the take: the loss is said") << "KILL" << true << "interrotto";
    }

    void aTakeWhoseServerStopsAnsweringOrDiesIsSaid()
    {
        QFETCH(QString, server);
        QFETCH(bool, duringTheTake);
        QFETCH(QString, said);
        const QByteArray fixture = qgetenv("PULSE_SERVER"), fixtureConfig = qgetenv("PULSE_CLIENTCONFIG");
        PrivatePulseServer own;
        QVERIFY(own.ok());
        own.use();
        RecordingSink sink;
        RecorderWindow recorder(sink, &SampleFolders::user, {});
        if (!duringTheTake)
            own.signal(server.toLatin1());
        QElapsedTimer took;
        took.start();
        recorder.chooseKey('V'); // the meter's input opens
        recorder.record();
        const qint64 recordMs = took.elapsed();
        if (duringTheTake) {
            QTest::qWait(500);
            own.signal(server.toLatin1());
        }
        QTRY_VERIFY_WITH_TIMEOUT(recorder.status().contains(said), 5000);
        own.signal("CONT");
        qputenv("PULSE_SERVER", fixture);
        qputenv("PULSE_CLIENTCONFIG", fixtureConfig);
        qInfo("the key and Registra returned in %lld ms; said: %s", recordMs, qPrintable(recorder.status()));
        QVERIFY2(recordMs < 3000, qPrintable(QString::number(recordMs)));
    }
};

QTEST_MAIN(TestRecorderRealServer)
#include "tst_recorder_realserver.moc"
