#include "canesdcommandhandler.h"
#include "canixxatcommandhandler.h"
#include "cankvasercommandhandler.h"
#include "canpeakcommandhandler.h"
#include "fakecontrol.h"

#include <QtTest>

// Runs with a Kvaser library lacking canIoCtl, a PEAK library lacking CAN_FilterMessages, and
// neither an esd nor an IXXAT library on the search path.
class VendorLoadingTest : public QObject
{
    Q_OBJECT
    LogCapture log { false };

private slots:
    void init() { log.install(); }
    void cleanup() { log.remove(); }

    void kvaser_library_without_ioctl_still_loads()
    {
        CANKvaserCommandHandler handler;
        QVERIFY(handler.openDevice(1000));
        QVERIFY(log.contains(QStringLiteral("lacks the symbol canIoCtl")));
        QVERIFY(ask(handler, 1, 6).isValid());
        QVERIFY(handler.closeDevice());
        QVERIFY(!FakeControl::isLoaded("libcanlib.so.1")); // released at close
    }

    void peak_library_lacking_one_function_is_refused()
    {
        CANPeakCommandHandler handler; // debug switch off: the line is written anyway
        QVERIFY(!handler.openDevice(1000));
        QVERIFY(!handler.isDeviceOpen());
        QVERIFY(log.contains(QStringLiteral("lacks the symbol CAN_FilterMessages")));
        QVERIFY(log.contains(QStringLiteral("CANPeakCommandHandler::openDevice() DLL load error!")));
        QVERIFY(log.contains(QStringLiteral("Error at loading library PCANBasic.dll not found!\n\nPlease keep")));
        QVERIFY(!FakeControl::isLoaded("libpcanbasic.so"));
        QVERIFY(!handler.closeDevice());
    }

    void missing_esd_library_refuses_open()
    {
        CANEsdCommandHandler handler;
        handler.setDebugEnabled(true);
        QVERIFY(!handler.openDevice(1000));
        QVERIFY(log.contains(QStringLiteral("CANEsdCommandHandler::openDevice() DLL load error!")));
        QVERIFY(log.contains(QStringLiteral("esd library not found")));
        QVERIFY(handler.setDataRate(500)); // no library: nothing is called, still true
        Command get(1, 6, 0, 0, 0);
        Command reply;
        reply.setValid(true);
        handler.doDirectRequest(&get, &reply); // the stale reply must be marked invalid
        QVERIFY(!reply.isValid());
    }

    void missing_ixxat_library_refuses_open()
    {
        CANIxxatCommandHandler handler; // debug switch off: the line is written anyway
        QVERIFY(!handler.openDevice(1000));
        QVERIFY(log.contains(QStringLiteral("CANIxxatCommandHandler::openDevice() Failed to load Ixxat library")));
        QVERIFY(!handler.setDataRate(1000));
        QVERIFY(handler.closeDevice());
    }
};

QTEST_GUILESS_MAIN(VendorLoadingTest)
#include "tst_vendorloading.moc"
