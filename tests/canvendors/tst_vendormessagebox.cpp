#include "cankvasercommandhandler.h"
#include "fakecontrol.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>
#include <thread>

// With a QApplication the failure is shown in a box on its thread; from another thread the
// log line alone is written and nothing blocks.
class VendorMessageBoxTest : public QObject
{
    Q_OBJECT
    FakeControl fake { "libcanlib.so.1" };
    QString title; // what the box showed; members, since the timer may outlive a failed test
    QString text;

private slots:
    void box_shown_on_the_application_thread()
    {
        QVERIFY(fake.isValid());
        fake.failOpen(true);
        QTimer::singleShot(50, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                title = box->windowTitle();
                text = box->text();
                box->close();
            }
        });
        CANKvaserCommandHandler handler;
        QVERIFY(!handler.openDevice(1000));
        QCOMPARE(title, QStringLiteral("Kvaser Error"));
        QCOMPARE(text, QStringLiteral("Failed to open channel\nhandle: 0xFFFFFFFD"));
    }

    void no_box_from_another_thread()
    {
        fake.failOpen(true);
        LogCapture log;
        bool opened = true;
        std::thread worker([&] {
            CANKvaserCommandHandler handler;
            opened = handler.openDevice(1000);
        });
        worker.join(); // would hang here if a box were opened off the application thread
        QVERIFY(!opened);
        QVERIFY(log.contains(QStringLiteral("Kvaser Error Failed to open channel")));
    }
};

QTEST_MAIN(VendorMessageBoxTest)
#include "tst_vendormessagebox.moc"
