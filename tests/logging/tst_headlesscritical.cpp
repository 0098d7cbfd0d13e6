#include "canopenpeakcommandhandler.h"
#include "logcapture.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <QtTest>

// A library built without Widgets shows no message box, even on the thread of a QApplication:
// the critical line is all the host gets.
class TstHeadlessCritical : public QObject
{
    Q_OBJECT
    QString boxTitle; // a member: the timer may fire after a failed test

private slots:
    void missing_library_gives_the_critical_line_alone()
    {
        if (vendorLibraryPresent("libpcanbasic.so"))
            QSKIP("a PEAK library is installed here; the test needs it missing");
        // A box would block in its own event loop; this closes it so that the test fails instead.
        QTimer::singleShot(2000, this, [this] {
            if (QWidget *box = QApplication::activeModalWidget()) {
                boxTitle = box->windowTitle();
                box->close();
            }
        });
        LogCapture log;
        CANopenPeakCommandHandler handler;
        QVERIFY(!handler.openDevice(500));
        QCOMPARE(boxTitle, QString());
        QStringList critical;
        for (const LoggedLine &line : log.lines()) {
            if (line.type == QtCriticalMsg)
                critical << line.text;
        }
        QVERIFY2(critical.filter(QStringLiteral("Error at loading library")).size() == 1,
            qPrintable(critical.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(TstHeadlessCritical)
#include "tst_headlesscritical.moc"
