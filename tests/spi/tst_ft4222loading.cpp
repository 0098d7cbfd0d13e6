#include "fakebridge.h"
#include "ft4222hcommandhandler.h"

#include <QtTest>
#include <dlfcn.h>

namespace {
bool isLoaded(const char *library)
{
    void *handle = dlopen(library, RTLD_NOW | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle != nullptr;
}
} // namespace

class TestFt4222Loading : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { LogCapture::install(); }

    void opening_follows_the_libraries_found()
    {
        FT4222HCommandHandler handler;
#if CH_SPI_VARIANT == 4
        // The FT4222 library carries its own D2XX: it is all a bridge needs.
        QVERIFY(handler.openDevice(QVariant()));
        QVERIFY(isLoaded("libft4222.so"));
        Command request(1, 146, 1, 0, 5), reply;
        handler.doDirectRequest(&request, &reply);
        QVERIFY(reply.isValid());
        QVERIFY(handler.closeDevice());
        QVERIFY(!isLoaded("libft4222.so"));
#else
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
        // A load that failed half-way keeps nothing loaded.
        QVERIFY(!isLoaded("libftd2xx.so"));
        QVERIFY(!isLoaded("libft4222.so"));
        QVERIFY(handler.closeDevice());
        // A second attempt takes the same path, without a crash on the half-loaded state.
        LogCapture::clear();
        QVERIFY(!handler.openDevice(QVariant()));
        QCOMPARE(LogCapture::count("initialisation failed!!!"), 1);
#endif
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
