#include "serialcommandhandler.h"

#include "basictools.h"
#include "chlog_p.h"
#include "portloss_p.h"
#include "serialport.h"
#include "serialportname_p.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSerialPortInfo>
#include <QThread>

namespace {
constexpr int kWriteWaitMs = 500;
constexpr int kPauseAfterFailedWriteMs = 100;
constexpr int kSerialPollMs = 1;
constexpr int kUsbFollowUpWaitMs = 10;
constexpr int kFrameSize = 9;
constexpr uchar kReadMem = 134;
constexpr uchar kGetVersion = 136;
constexpr uchar kStatusOk = 100;

QString orNotAvailable(const QString &value)
{
    return value.isEmpty() ? QObject::tr("N/A") : value;
}

QString identifierText(bool present, quint16 id)
{
    return present ? QString::number(id, 16) : QObject::tr("N/A");
}
} // namespace

SerialCommandHandler::SerialCommandHandler(QObject *parent) : CommandHandlerInterface(parent)
{
    setDefaultTimeoutMS(500);
    setMaxTimeoutMS(500);
}

SerialCommandHandler::~SerialCommandHandler() = default;

bool SerialCommandHandler::isUsb() const
{
    return objectName().contains(QLatin1String("USB construct No: "));
}

bool SerialCommandHandler::skipChecksumTest() const
{
    // Version and memory replies carry text or raw bytes in place of a checksummed frame.
    return hasLastRequest && (lastRequest.command() == kGetVersion || lastRequest.command() == kReadMem);
}

QString SerialCommandHandler::portText() const
{
    // The name as the host gave it; QSerialPort shortens device paths.
    return port ? property("dpComPort").toString() : QStringLiteral("(no port)");
}

void SerialCommandHandler::pauseBetweenFrames() const
{
    if (m_pauseAfterReply > 0)
        QThread::usleep(static_cast<unsigned long>(m_pauseAfterReply) * 500UL);
}

bool SerialCommandHandler::openDevice(QVariant device)
{
    dumpTimeoutedAddresses();
    timeoutedAddresses.clear();
    dumpTimeoutedAddresses();

    const QString name = device.toString();
    setProperty("dpComPort", name);

    if (!port) {
        port = new SerialPort(this);
        connect(port, &QSerialPort::readyRead, this, &CommandHandlerInterface::readyRead);
        // A line that hangs up while no request runs is noticed from the event loop. Queued:
        // the port must not be closed inside its own error handling.
        connect(
            port, &QSerialPort::errorOccurred, this, [this] { portLost(); }, Qt::QueuedConnection);
        setDeviceName(name);
    }

    bool listed = false;
    const QList<QSerialPortInfo> available = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : available) {
        CH_DEBUG << "Searching for device:" << name << "\r\n"
                 << "\t"
                 << "Port: " << orNotAvailable(info.portName()) << "\r\n"
                 << "\t"
                 << "Location: " << orNotAvailable(info.systemLocation()) << "\r\n"
                 << "\t"
                 << "Description: " << orNotAvailable(info.description()) << "\r\n"
                 << "\t"
                 << "Manufacturer: " << orNotAvailable(info.manufacturer()) << "\r\n"
                 << "\t"
                 << "Serial number: " << orNotAvailable(info.serialNumber()) << "\r\n"
                 << "\t"
                 << "Vendor Identifier: " << identifierText(info.hasVendorIdentifier(), info.vendorIdentifier())
                 << "\r\n"
                 << "\t"
                 << "Product Identifier: " << identifierText(info.hasProductIdentifier(), info.productIdentifier());
        if (info.portName() == name || info.systemLocation() == name) {
            listed = true;
            break;
        }
    }

    port->setPortName(name);
    if (port->isOpen())
        return true;

    if (!ch::serialPortNameAccepted(name, listed))
        return false;

    if (port->open(QIODevice::ReadWrite)) {
        CH_DEBUG << "serial device " << name << " opened. :" << portText();
        deviceOpen = true;
        portGone = false;
        return true;
    }
    CH_DEBUG << "serial device by default: " << portText() << " open failed! Error" << port->errorString();
    emit variantMessageOutput(ErrorIsBusy, portText() + QStringLiteral(" Error: ") + port->errorString());
    port->close();
    deviceOpen = false;
    return false;
}

bool SerialCommandHandler::closeDevice()
{
    if (!port) {
        CH_DEBUG << "device == NULL";
    } else if (port->isOpen()) {
        CH_DEBUG << portText();
        port->clear(QSerialPort::AllDirections);
        port->close();
    }
    deviceOpen = false;
    return true;
}

bool SerialCommandHandler::portLost()
{
    if (portGone)
        return true;
    if (!port || !port->isOpen() || !ch::isPortLost(port->error()))
        return false;
    CH_WARNING << "port lost:" << portText() << port->errorString();
    portGone = true;
    closeDevice();
    emit handleDetachedDevice(ConnectionType::Serial, m_deviceName);
    emit handleDetachedDevice(ConnectionType::USB, m_deviceName);
    QVariantHash fault;
    fault.insert(QLatin1String(ch::kPortLostFault), portText());
    emit faultsMessage(fault);
    return true;
}

bool SerialCommandHandler::reopenDevice()
{
    CH_DEBUG << m_deviceName;
    return openDevice(m_deviceName);
}

bool SerialCommandHandler::setDataRate(int rate)
{
    if (!port)
        return true;
    if (!port->setBaudRate(rate, QSerialPort::AllDirections))
        return false;
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    m_dataRate = rate;
    if (objectName().contains(QLatin1String("Serial construct No: "))) {
        CH_DEBUG << "Clear buffers...";
        port->readAll();
    }
    return true;
}

void SerialCommandHandler::discardStaleInput()
{
    // Bytes still waiting now belong to an earlier exchange (a reply that came after its
    // time-out, line noise); left in place they would be taken as this request's reply.
    const qint64 stale = port->bytesAvailable();
    port->clear(QSerialPort::Input);
    if (stale > 0)
        CH_LOW << "discarded" << stale << "stale bytes [" << portText() << "]";
}

bool SerialCommandHandler::writeZAPLCommand(ZAPLRequestCommand *request)
{
    if (debugEnabled) {
        CH_DEBUG << request->toString() << " [" << portText() << "]";
        CH_DEBUG << request->toHex() << "[" << portText() << "]";
    }
    lastRequest = *request;
    hasLastRequest = true;
    if (historyActive || request->command() == kGetVersion)
        emit variantMessageOutput(Serial_ZAPL_Request, QVariant::fromValue(request));
    incZaplCommandCounter();

    if (!port || !port->isOpen() || portLost()) {
        if (debugEnabled)
            CH_DEBUG << "could not send data: is device opened?";
        if (historyActive) {
            ZAPLReplyCommand none;
            emit variantMessageOutput(Serial_ZAPL_Reply, QVariant::fromValue(&none));
        }
        return false;
    }

    discardStaleInput();
    pauseBetweenFrames();
    const qint64 written = port->write(request->toChar(), kFrameSize);
    const bool flushed = port->waitForBytesWritten(kWriteWaitMs);
    const bool sent = written == kFrameSize && flushed;
    if (!sent && portLost())
        return false;
    if (!sent) {
        closeDevice();
        QThread::msleep(kPauseAfterFailedWriteMs);
        QStringList names;
        bool stillThere = false;
        const QList<QSerialPortInfo> available = QSerialPortInfo::availablePorts();
        for (const QSerialPortInfo &info : available) {
            names << info.portName();
            stillThere = stillThere || info.portName() == m_deviceName || info.systemLocation() == m_deviceName;
        }
        CH_LOW << "Close:" << m_deviceName << "Ports:" << ("(" + names.join(QStringLiteral(", ")) + ")") << "\r\n"
               << "wrote:" << written << "waitWritten:" << (flushed ? "true" : "false");
        if (!stillThere)
            closeDevice();
    }
    pauseBetweenFrames();
    return flushed;
}

void SerialCommandHandler::readZAPLCommand_Serial(ZAPLReplyCommand *reply, uchar)
{
    if (port && port->isOpen() && port->bytesAvailable() > kFrameSize - 1) {
        const QByteArray bytes = port->read(kFrameSize);
        if (bytes.size() == kFrameSize) {
            reply->update(bytes.constData(), skipChecksumTest());
            return;
        }
    }
    reply->setValid(false);
}

void SerialCommandHandler::usbTimeout(ZAPLReplyCommand *reply, uchar address, int buffered)
{
    if (port && port->bytesAvailable() > kFrameSize - 1)
        CH_WARNING << "!!!!!!!!!!:" << buffered << port->bytesAvailable() << " [" << portText() << "]";
    setAddressTimeout(address);
    dumpTimeoutedAddresses();
    reply->setValid(false);
}

void SerialCommandHandler::readZAPLCommand_USB(ZAPLReplyCommand *reply, uchar address)
{
    const bool open = port && port->isOpen();
    if (open && (port->bytesAvailable() > 0 || port->waitForReadyRead(2 * maxTimeoutMs))
        && port->bytesAvailable() == kFrameSize) {
        const QByteArray bytes = port->readAll();
        reply->update(bytes.constData(), skipChecksumTest());
        return;
    }
    if (portLost()) {
        reply->setValid(false);
        return;
    }

    QByteArray buffer = open ? port->readAll() : QByteArray();
    int counter = maxTimeoutMs;
    for (;;) {
        if (--counter <= 0)
            break;
        if (buffer.size() > kFrameSize - 1 || !open || !port->waitForReadyRead(kUsbFollowUpWaitMs)) {
            if (buffer.size() < kFrameSize && portLost()) {
                reply->setValid(false);
                return;
            }
            // Fewer than 9 bytes gathered is no reply: nothing beyond what arrived is parsed.
            if (counter == 1 || buffer.size() < kFrameSize)
                break;
            reply->update(buffer.constData(), skipChecksumTest());
            if (debugEnabled) {
                CH_DEBUG << reply->toHex() << " [" << portText() << "]";
                CH_DEBUG << reply->toString() << " [" << portText() << "]"
                         << "\r\n";
            }
            return;
        }
        buffer += port->readAll();
        if (counter <= 2)
            CH_DEBUG << "ZAPL rx (again):" << buffer.size() << port->bytesAvailable() << counter << " [" << portText()
                     << "]";
    }
    usbTimeout(reply, address, buffer.size());
}

void SerialCommandHandler::readNextZAPLCommand(ZAPLReplyCommand *reply, uchar address)
{
    if (isUsb()) {
        if (!isAddressTimeouted(address))
            readZAPLCommand_USB(reply, address);
        else
            reply->setValid(false);
        if (!historyActive && lastRequest.command() != kGetVersion) {
            if (reply->isReplyAndCheckSumValid())
                return;
            if (hasLastRequest)
                emit variantMessageOutput(Serial_ZAPL_Request, QVariant::fromValue(&lastRequest));
        }
        emit variantMessageOutput(Serial_ZAPL_Reply, QVariant::fromValue(reply));
        return;
    }

    QElapsedTimer clock;
    clock.start();
    bool lost = false;
    for (;;) {
        if (port && port->isOpen())
            port->waitForReadyRead(kSerialPollMs);
        else
            QThread::msleep(kSerialPollMs);
        readZAPLCommand_Serial(reply, address);
        if (reply->isValid() || clock.elapsed() >= maxTimeoutMs)
            break;
        lost = portLost();
        if (lost)
            break;
        if (forceProcessEvents)
            QCoreApplication::processEvents();
    }
    if (debugEnabled)
        CH_DEBUG << "-> tried to read! " << clock.elapsed();

    if (lost) {
        // Reported as the port's loss already: no module is to blame.
        if (historyActive)
            emit variantMessageOutput(Serial_ZAPL_Reply, QVariant::fromValue(reply));
        reply->setValid(false);
        return;
    }

    if (!reply->isValid()) {
        CH_DEBUG << "communicationTimeouted!" << objectName() << (port ? port->bytesAvailable() : 0) << portText()
                 << ((port && port->isOpen()) ? "true" : "false") << "Timeout:" << maxTimeoutMs
                 << clock.nsecsElapsed() / 1e6 << "ms";
        setAddressTimeout(address);
        dumpTimeoutedAddresses();
        emit handleDetachedDevice(ConnectionType::Serial, m_deviceName);
        emit handleDetachedDevice(ConnectionType::USB, m_deviceName);
        QVariantHash fault;
        fault.insert(QStringLiteral("Communication Timeout"), address);
        emit faultsMessage(fault);
        if (historyActive)
            emit variantMessageOutput(Serial_ZAPL_Reply, QVariant::fromValue(reply));
        reply->setValid(false);
        return;
    }
    if (debugEnabled) {
        CH_DEBUG << reply->toHex();
        CH_DEBUG << reply->toString();
    }
    if (historyActive)
        emit variantMessageOutput(Serial_ZAPL_Reply, QVariant::fromValue(reply));
}

void SerialCommandHandler::doDirectRequest(Command *request, Command *reply)
{
    if (!request) {
        if (reply)
            reply->setValid(false);
        return;
    }
    ZAPLRequestCommand frame(request);
    frame.setExtended(request->isExtendedType());
    if (!writeZAPLCommand(&frame)) {
        if (reply)
            reply->setValid(false);
        return;
    }
    ZAPLReplyCommand answer;
    answer.setExtended(frame.isExtended());
    readNextZAPLCommand(&answer, request->address());
    if (!reply)
        return;
    if (!answer.isValid()) {
        reply->setValid(false);
        return;
    }
    reply->setValid(true);
    reply->setExtendedType(request->isExtendedType());
    reply->setType(request->type());
    reply->setMotorBank(request->motorBank());
    reply->setRegAddressBitWidth(request->getRegAddressBitWidth());
    reply->setAddress(answer.moduleAddress());
    reply->setCommand(answer.command());
    reply->setStatus(answer.status());
    reply->setValue(answer.value());
    reply->setReplyAddress(answer.replyAddress());
    reply->setChecksum(answer.checkSum());
}

void SerialCommandHandler::doDirectRequestWithoutAnswer(Command *request)
{
    if (!request)
        return;
    ZAPLRequestCommand frame(request->address(), request->command(), static_cast<uchar>(request->type() & 0xFF),
        request->motorBank(), request->value());
    writeZAPLCommand(&frame);
}

ZAPLReplyCommand SerialCommandHandler::doDirectReply()
{
    ZAPLReplyCommand reply;
    readNextZAPLCommand(&reply, 1);
    return reply;
}

bool SerialCommandHandler::versionQuery(uchar address, uchar type, ZAPLReplyCommand *reply)
{
    ZAPLRequestCommand query(address, kGetVersion, type, 0, 0);
    if (!writeZAPLCommand(&query))
        return false;
    readNextZAPLCommand(reply, address);
    return reply->isValid();
}

QString SerialCommandHandler::getModuleAndFirmwareVersion(uchar address)
{
    ZAPLReplyCommand reply;
    if (!versionQuery(address, 0, &reply))
        return QString();
    // The text stands in bytes 1 to 8 of the frame, one Latin-1 character each; zero bytes
    // included, so the length is given rather than taken from a terminator.
    const QByteArray text = reply.toReply().mid(1, 8);
    return QString::fromLatin1(text.constData(), text.size());
}

QString SerialCommandHandler::getFirmwareVersion(uchar address)
{
    ZAPLReplyCommand reply;
    if (!versionQuery(address, 1, &reply) || reply.status() != kStatusOk)
        return QString();
    const int value = reply.value();
    const QString text = getModuleAndFirmwareVersion(address);
    setFirmwareVersionNumber({ text, { static_cast<qint8>((value >> 8) & 0xFF), static_cast<qint8>(value & 0xFF) } });
    setAddress(reply.moduleAddress());
    QString name;
    return BasicTools::matchFirmwareVersion(name, text, value);
}

QString SerialCommandHandler::getFirmwareBuild(uchar address)
{
    if (firmwareBuild.isEmpty()) {
        ZAPLReplyCommand reply;
        if (versionQuery(address, 5, &reply) && reply.status() == kStatusOk) {
            CH_DEBUG << reply.value();
            firmwareBuild = BasicTools::iToUint(static_cast<quint32>(reply.value()), 3, QString());
        }
    }
    return firmwareBuild;
}

void SerialCommandHandler::slotRead()
{
    if (!port || port->bytesAvailable() < 10)
        return;
    const qint64 waiting = port->bytesAvailable();
    CH_DEBUG << "slot: Rx ready notifier." << waiting << "[" << portText() << "]" << objectName();
    const qint64 dropped = waiting - kFrameSize;
    port->read(dropped);
    CH_DEBUG << "Dummy readout:" << dropped;
}
