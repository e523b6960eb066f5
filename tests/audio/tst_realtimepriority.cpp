#include "audio/core/RealtimePriority.h"

#include <QTest>

#include <sched.h>

#include <semaphore>
#include <thread>

// A thread that its library made real-time already, as RTKit does for
// PipeWire's data thread (SCHED_RR, with SCHED_RESET_ON_FORK beside it):
// kept as it is, and said as it is.
class TestRealtimePriority : public QObject
{
    Q_OBJECT

private slots:
    void aThreadMadeRealtimeByItsLibraryIsKeptAndSaid()
    {
        RealtimePriority realtime;
        bool made = false;
        int policy = -1, priority = -1;
        std::binary_semaphore asked(0), said(0);
        std::thread audio([&] {
            sched_param param{};
            param.sched_priority = 12;
            made = sched_setscheduler(0, SCHED_RR | SCHED_RESET_ON_FORK, &param) == 0;
            if (!made) {
                asked.release();
                return;
            }
            realtime.askOnAudioThread();
            policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
            sched_getparam(0, &param);
            priority = param.sched_priority;
            asked.release();
            said.acquire(); // the thread lives until it is said
        });
        asked.acquire();
        const QString text = QString::fromStdString(realtime.settle("the audio thread of PipeWire"));
        said.release();
        audio.join();
        if (!made)
            QSKIP("this user may not make a thread real-time");
        QCOMPARE(policy, SCHED_RR);
        QCOMPARE(priority, 12);
        QVERIFY(realtime.granted());
        QCOMPARE(text, QStringLiteral("the audio thread of PipeWire runs at real-time priority 12 (SCHED_RR) already"));
    }
};

QTEST_APPLESS_MAIN(TestRealtimePriority)
#include "tst_realtimepriority.moc"
