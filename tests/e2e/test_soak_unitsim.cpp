// A short fault-injection soak: about fifty transfers, dialled and incoming, against unitsim
// at full speed with random faults on the line and the operator's own (Отмена, a second
// button during a wait), the modem restarting or replugged in between. No received picture
// may be lost or stored twice, nothing may be stored that was not sent whole, the index files
// must agree with the folder foto, and the program must still take the next calls. bench_soak
// runs the long one.
#include "soak.h"

#include <QtTest>

class TestSoakUnitsim : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SKIP_WITHOUT_UNITSIM(); }

    void fiftyTransfersWithFaults() {
        rig::SoakOptions o;
        o.seed = 20261208;
        rig::Soak soak(o);
        const QString why = soak.start();
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QElapsedTimer t;
        t.start();
        for (int n = 1; n <= 50; ++n) {
            const QString problem = soak.transfer();
            QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("transfer %1: %2").arg(n).arg(problem)));
            if (n % 25 == 0) {
                const rig::SoakCheck c = soak.check();
                QVERIFY2(c.ok(), qPrintable(QStringLiteral("after %1 transfers: ").arg(n) + c.problems.join("; ")));
            }
        }
        const QString next = soak.answersNextCalls();
        QVERIFY2(next.isEmpty(), qPrintable(next));
        const rig::SoakCheck c = soak.check();
        QVERIFY2(c.ok(), qPrintable(c.problems.join("; ")));

        const rig::SoakFigures& fig = soak.figures();
        // The soak did what it claims: faults of every kind, both ways of calling, pictures.
        QVERIFY(fig.dialled > 10 && fig.incoming > 10);
        QVERIFY(fig.lineFaults.size() >= 4);
        QVERIFY(!fig.operatorFaults.isEmpty());
        QVERIFY(c.stored > 50);
        QVERIFY(c.required > 50);
        // The modem restarted and was replugged in between, and was prepared again each time.
        QVERIFY(fig.restarts > 0 && fig.silentRestarts > 0 && fig.replugs > 0);
        QVERIFY(fig.voiceCalls > 0);
        // Every call is in the journal, the ones that rang unanswered too.
        QVERIFY(c.journalled >= fig.transfers && c.unanswered >= fig.voiceCalls);
        qInfo(
            "%d transfers (%d dialled, %d incoming) in %.1f s; %d pictures sent whole, %d cut; %d stored in %d events; "
            "%d excused by a cancel, %d of them stored; %d restarts, %d silent, %d replugs, %d voice calls",
            fig.transfers, fig.dialled, fig.incoming, double(t.elapsed()) / 1000, fig.picturesWhole, fig.picturesCut,
            c.stored, c.events, c.excused, c.excusedStored, fig.restarts, fig.silentRestarts, fig.replugs,
            fig.voiceCalls);
        for (auto it = fig.lineFaults.begin(); it != fig.lineFaults.end(); ++it)
            qInfo("  line fault %s: %d", it.key().constData(), it.value());
        for (auto it = fig.operatorFaults.begin(); it != fig.operatorFaults.end(); ++it)
            qInfo("  operator %s: %d", qPrintable(it.key()), it.value());
        for (auto it = fig.callsDuring.begin(); it != fig.callsDuring.end(); ++it)
            qInfo("  a call during %s: %d", qPrintable(it.key()), it.value());
    }
};

QTEST_MAIN(TestSoakUnitsim)
#include "test_soak_unitsim.moc"
