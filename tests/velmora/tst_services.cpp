#include "appsettings.h"
#include "global.h"
#include "sysinfoobject.h"

#include <QtTest>

class TstServices : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void thread_registry_keeps_names_by_thread_and_by_id();
    void object_registry_finds_by_name_and_forgets_destroyed();
    void sysinfo_records_connections_and_ticks();
    void app_settings_stay_in_the_test_store();

private:
    QTemporaryDir m_store;
};

void TstServices::initTestCase()
{
    QVERIFY(m_store.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_store.path());
}

void TstServices::thread_registry_keeps_names_by_thread_and_by_id()
{
    Global *global = Global::instance(false);
    QCOMPARE(global, Global::instance());
    QThread worker;
    global->registerThread(&worker, QStringLiteral("Find-1st"));
    global->registerThread(QThread::currentThreadId(), QStringLiteral("main"));
    QCOMPARE(global->threads().value(&worker), QStringLiteral("Find-1st"));
    QCOMPARE(global->threadIds().value(QThread::currentThreadId()), QStringLiteral("main"));
    global->unregisterThread(&worker);
    global->unregisterThread(QThread::currentThreadId());
    QVERIFY(!global->threads().contains(&worker));
    QVERIFY(!global->threadIds().contains(QThread::currentThreadId()));
}

void TstServices::object_registry_finds_by_name_and_forgets_destroyed()
{
    auto *object = new QObject;
    object->setObjectName(QStringLiteral("___Single___"));
    Global::instance()->addSelf(object);
    QCOMPARE(Global::instance()->getSelf(QStringLiteral("___Single___")), object);
    delete object;
    QCOMPARE(Global::instance()->getSelf(QStringLiteral("___Single___")), nullptr);
    QCOMPARE(Global::instance()->mainWindow(), nullptr);
}

void TstServices::sysinfo_records_connections_and_ticks()
{
    SysInfoObject *info = SysInfoObject::instance();
    info->clearRecords();
    QSignalSpy spy(info, &SysInfoObject::rxReported);
    info->addCom(QStringLiteral("COM7"));
    QVERIFY(info->connections().contains(QStringLiteral("COM7")));
    info->setRx(QStringLiteral("COM7"), 3, 250);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(info->rxReports().size(), 1);
    QCOMPARE(info->rxReports().first().commands, 3);
    info->removeCom(QStringLiteral("COM7"));
    QVERIFY(!info->connections().contains(QStringLiteral("COM7")));
}

void TstServices::app_settings_stay_in_the_test_store()
{
    {
        AppSettings settings;
        settings.setValue(QStringLiteral("TraceHistory"), true);
    }
    QVERIFY2(AppSettings().fileName().startsWith(m_store.path()), qPrintable(AppSettings().fileName()));
    QVERIFY(QFile::exists(AppSettings().fileName()));
    QCOMPARE(AppSettings().value(QStringLiteral("TraceHistory")).toBool(), true);
}

QTEST_GUILESS_MAIN(TstServices)
#include "tst_services.moc"
