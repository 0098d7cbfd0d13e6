#include "fakebridge.h"
#include "ft4222hcommandhandler.h"

#include <QtTest>

class TestFt4222Loading : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { LogCapture::install(); }

    void open_fails_cleanly_without_usable_library()
    {
        FT4222HCommandHandler handler;
        QVERIFY(!handler.openDevice(QVariant()));
        QVERIFY(!handler.isDeviceOpen());
        QCOMPARE(LogCapture::count("initialisation failed!!!"), 1);
        QCOMPARE(LogCapture::count(" Devices: "), 0); // nothing beyond loading is touched
#if CH_SPI_VARIANT == 1
        QCOMPARE(LogCapture::count("failed to load ftd2xx.dll"), 2); // loader line, then "...dll!"
        QCOMPARE(LogCapture::count("Failed to load ftd2xx.dll!"), 1);
#else
        QCOMPARE(LogCapture::count("ftd2xx.dll: libraryVersion:  0x10426"), 1);
        QCOMPARE(LogCapture::count("ftd2xx.dll: driverVersion: unknown!"), 1);
        QCOMPARE(LogCapture::count("Failed to load LibFT4222.dll!"), 1);
#endif
#if CH_SPI_VARIANT == 2
        QCOMPARE(LogCapture::count("failed to load LibFT4222.dll"), 2);
#elif CH_SPI_VARIANT == 3
        QCOMPARE(LogCapture::count("Failed to load library functions."), 1);
        QCOMPARE(LogCapture::count(QStringList { "missing symbol", "FT4222_SPI_SetDrivingStrength" }), 1);
#endif
        QVERIFY(handler.closeDevice());
        // A second attempt takes the same path, without a crash on the half-loaded state.
        LogCapture::clear();
        QVERIFY(!handler.openDevice(QVariant()));
        QCOMPARE(LogCapture::count("initialisation failed!!!"), 1);
    }

    void requests_on_unopened_handler_are_invalid()
    {
        FT4222HCommandHandler handler;
        Command request(1, 148, 1, 0, 0), reply;
        reply.setValid(true);
        handler.doDirectRequest(&request, &reply);
        QVERIFY(!reply.isValid());
        QVERIFY(!handler.startDebugger());
    }
};

QTEST_MAIN(TestFt4222Loading)
#include "tst_ft4222loading.moc"
