// A QCanBus plugin for tests: devices whose answers and failures a test scripts, for what no
// real bus here produces on demand (error frames, bus-off, a refused bit rate, an unplug).
// A test reaches a handler's device as the handler's QCanBusDevice child and drives it with
// QMetaObject::invokeMethod.
#include <QCanBusDevice>
#include <QCanBusFactory>
#include <QObject>
#include <QVector>
#include <QtPlugin>

class ScriptCanDevice : public QCanBusDevice
{
    Q_OBJECT
public:
    enum Kind { Data, Extended, Remote, Error };
    explicit ScriptCanDevice(const QString &name) : m_name(name) { }

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    void setConfigurationParameter(ConfigurationKey key, const QVariant &value) override
#else
    void setConfigurationParameter(int key, const QVariant &value) override
#endif
    {
        // Rates a classic controller's table would hold; anything else is refused.
        static const QVector<int> rates { 125000, 250000, 500000, 1000000 };
        if (key == BitRateKey && !rates.contains(value.toInt())) {
            setError(QStringLiteral("unsupported bit rate %1").arg(value.toInt()), ConfigurationError);
            return;
        }
        QCanBusDevice::setConfigurationParameter(key, value);
    }

    bool writeFrame(const QCanBusFrame &frame) override
    {
        if (state() != ConnectedState || !frame.isValid())
            return false;
        ++m_written;
        emit framesWritten(1);
        if (!m_answer.isEmpty()) {
            const QVector<QCanBusFrame> answer = m_answer;
            m_answer.clear();
            enqueueReceivedFrames(answer);
        }
        return true;
    }

    QString interpretErrorFrame(const QCanBusFrame &frame) override
    {
        return QStringLiteral("scripted error 0x%1").arg(quint32(frame.error()), 0, 16);
    }

    // The next frame written is answered with this one (after those queued before it).
    Q_INVOKABLE void answerNextWrite(uint id, const QByteArray &data, int kind)
    {
        QCanBusFrame frame(id, data);
        frame.setExtendedFrameFormat(kind == Extended);
        if (kind == Remote)
            frame.setFrameType(QCanBusFrame::RemoteRequestFrame);
        if (kind == Error) {
            frame = QCanBusFrame(QCanBusFrame::ErrorFrame);
            frame.setError(QCanBusFrame::FrameErrors(int(id)));
        }
        m_answer.append(frame);
    }
    // The adapter goes away as an unplugged one does.
    Q_INVOKABLE void unplug()
    {
        setError(QStringLiteral("%1 was unplugged").arg(m_name), ConnectionError);
        setState(UnconnectedState);
    }
    Q_INVOKABLE int written() const
    {
        return m_written;
    }

protected:
    bool open() override
    {
        setState(ConnectedState);
        return true;
    }
    void close() override
    {
        setState(UnconnectedState);
    }

private:
    QString m_name;
    QVector<QCanBusFrame> m_answer;
    int m_written = 0;
};

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
using ScriptCanFactory = QCanBusFactory;
#else
using ScriptCanFactory = QCanBusFactoryV2;
#endif

class ScriptCanPlugin : public QObject, public ScriptCanFactory
{
    Q_OBJECT
    // QCanBus looks for this identifier in Qt 5 too, where the interface is the second version.
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QCanBusFactory" FILE "scriptcan.json")
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    Q_INTERFACES(QCanBusFactory)
#else
    Q_INTERFACES(QCanBusFactoryV2)
#endif
public:
    QCanBusDevice *createDevice(const QString &interfaceName, QString *errorMessage) const override
    {
        if (!interfaceName.startsWith(QLatin1String("script"))) {
            *errorMessage = QStringLiteral("no scripted interface '%1'").arg(interfaceName);
            return nullptr;
        }
        return new ScriptCanDevice(interfaceName);
    }
    QList<QCanBusDeviceInfo> availableDevices(QString *) const override
    {
        return {};
    }
};

#include "scriptcan.moc"
