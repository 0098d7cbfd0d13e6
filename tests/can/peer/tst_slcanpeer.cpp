#include "slcaninterface.h"

#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

// Our SLCAN lines against an implementation nobody here wrote: python-can's slcan bus.
class TestSlcanPeer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void python_can_reads_our_lines_data();
    void python_can_reads_our_lines();
    void we_parse_python_can_lines_data();
    void we_parse_python_can_lines();

private:
    QString ask(const QByteArray &command);
    QProcess peer;
    SLCANInterface slcan;
};

namespace {
QString python()
{
    // The system interpreter carries the distribution's python3-can; a user's own may not.
    for (const char *candidate : { "/usr/bin/python3", "python3" }) {
        QProcess probe;
        probe.start(QString::fromLatin1(candidate), { QStringLiteral("-c"), QStringLiteral("import can, serial") });
        if (probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0)
            return QString::fromLatin1(candidate);
    }
    return QString();
}
} // namespace

void TestSlcanPeer::initTestCase()
{
    const QString interpreter = python();
    if (interpreter.isEmpty())
        QSKIP("python3-can is not installed (Debian package python3-can): no independent SLCAN peer to test against");
    peer.start(interpreter, { QStringLiteral(CH_SOURCE_DIR "/tests/can/peer/slcan_peer.py") });
    QVERIFY(peer.waitForStarted(5000));
    for (int i = 0; i < 100 && !peer.canReadLine(); ++i)
        peer.waitForReadyRead(100);
    const QString path = QString::fromLocal8Bit(peer.readLine()).trimmed();
    QVERIFY2(QFileInfo::exists(path), qPrintable(path + QString::fromLocal8Bit(peer.readAllStandardError())));
    QVERIFY(slcan.openPort(path, false));
    QVERIFY(slcan.setBitrate(500));
    QVERIFY(slcan.openChannel());
}

void TestSlcanPeer::cleanupTestCase()
{
    if (peer.state() == QProcess::NotRunning)
        return;
    peer.write("quit\n");
    if (!peer.waitForFinished(3000))
        peer.kill();
    slcan.closePort();
}

QString TestSlcanPeer::ask(const QByteArray &command)
{
    peer.write(command + '\n');
    for (int i = 0; i < 50 && !peer.canReadLine(); ++i) {
        QCoreApplication::processEvents(); // our port keeps reading meanwhile
        peer.waitForReadyRead(100);
    }
    return QString::fromLocal8Bit(peer.readLine()).trimmed();
}

void TestSlcanPeer::python_can_reads_our_lines_data()
{
    QTest::addColumn<quint32>("id");
    QTest::addColumn<bool>("extended");
    QTest::addColumn<bool>("remote");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("seen");
    QTest::newRow("standard 0") << 0x000u << false << false << QByteArray() << "RX t 0 0 ";
    QTest::newRow("standard 1") << 0x7FFu << false << false << QByteArray("\x5a") << "RX t 7FF 1 5A";
    QTest::newRow("standard 8") << 0x123u << false << false << QByteArray::fromHex("00FF7F80010203FE")
                                << "RX t 123 8 00FF7F80010203FE";
    QTest::newRow("extended 7") << 0x1FFFFFFFu << true << false << QByteArray::fromHex("A1B2C3D4E5F607")
                                << "RX T 1FFFFFFF 7 A1B2C3D4E5F607";
    QTest::newRow("remote") << 0x600u << false << true << QByteArray(4, '\0') << "RX r 600 4 ";
    QTest::newRow("extended remote") << 0x18DAF110u << true << true << QByteArray(8, '\0') << "RX R 18DAF110 8 ";
}

void TestSlcanPeer::python_can_reads_our_lines()
{
    QFETCH(quint32, id);
    QFETCH(bool, extended);
    QFETCH(bool, remote);
    QFETCH(QByteArray, data);
    QFETCH(QString, seen);
    CanMessage m;
    m.id = id;
    m.extended = extended;
    m.remote = remote;
    m.setData(data.constData(), data.size());
    QVERIFY(slcan.sendMessage(m));
    QCOMPARE(ask("recv 1"), seen.trimmed());
}

void TestSlcanPeer::we_parse_python_can_lines_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<quint32>("id");
    QTest::addColumn<bool>("extended");
    QTest::addColumn<bool>("remote");
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("standard 0") << QByteArray("send t 1 0") << 0x1u << false << false << QByteArray();
    QTest::newRow("standard 3") << QByteArray("send t 7FF 3 0A0B0C") << 0x7FFu << false << false
                                << QByteArray::fromHex("0A0B0C");
    QTest::newRow("standard 8") << QByteArray("send t 002 8 0102030405060708") << 0x2u << false << false
                                << QByteArray::fromHex("0102030405060708");
    QTest::newRow("extended 5") << QByteArray("send T 0A1B2C3D 5 FFEEDDCCBB") << 0x0A1B2C3Du << true << false
                                << QByteArray::fromHex("FFEEDDCCBB");
    QTest::newRow("remote") << QByteArray("send r 0F0 2") << 0x0F0u << false << true << QByteArray(2, '\0');
    QTest::newRow("extended remote") << QByteArray("send R 100 6") << 0x100u << true << true << QByteArray(6, '\0');
    // python-can writes upper-case digits only; lower case goes through its serial port as is.
    QTest::newRow("lower-case standard") << QByteArray("raw t1ab3c0ffee") << 0x1ABu << false << false
                                         << QByteArray::fromHex("C0FFEE");
    QTest::newRow("lower-case extended") << QByteArray("raw T0abcdef02beef") << 0x0ABCDEF0u << true << false
                                         << QByteArray::fromHex("BEEF");
}

void TestSlcanPeer::we_parse_python_can_lines()
{
    QFETCH(QByteArray, command);
    QFETCH(quint32, id);
    QFETCH(bool, extended);
    QFETCH(bool, remote);
    QFETCH(QByteArray, data);
    QCOMPARE(ask(command), QStringLiteral("SENT"));
    QTRY_VERIFY(slcan.queuedMessages() > 0);
    CanMessage m;
    QVERIFY(slcan.takeMessage(m));
    QCOMPARE(m.id, id);
    QCOMPARE(m.extended, extended);
    QCOMPARE(m.remote, remote);
    QCOMPARE(m.length, data.size());
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(m.data), m.length), remote ? QByteArray(m.length, '\0') : data);
    QCOMPARE(slcan.queuedMessages(), 0);
}

QTEST_GUILESS_MAIN(TestSlcanPeer)
#include "tst_slcanpeer.moc"
