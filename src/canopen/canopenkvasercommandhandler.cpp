#include "canopenkvasercommandhandler.h"

#include "canopenbitrates_p.h"
#include "chlog_p.h"
#include "kvaserlibrary_p.h"

CANopenKvaserCommandHandler::CANopenKvaserCommandHandler(QObject *parent)
    : CANopenServiceHandler({ 0, false, true }, parent), m_library(new VendorLibraryUse(KvaserLibrary::library()))
{
    setObjectName(QStringLiteral("CANopen Kvaser"));
    setDeviceName(objectName());
}

CANopenKvaserCommandHandler::~CANopenKvaserCommandHandler()
{
    CH_DEBUG << this;
    // An open channel is closed before the library can go away under it.
    shutChannel();
    delete m_library;
}

void CANopenKvaserCommandHandler::setDataRate(int kbit)
{
    dataRate = kbit;
    const int status = m_library->isLoaded()
        ? KvaserLibrary::canSetBusParams(m_handle, canopen::adapterRate(kbit).kvaserCode, 0, 0, 0, 0, 0)
        : KvaserLibrary::kStatusNotFound;
    if (status < 0)
        CH_DEBUG << "canSetBusParams -> failed! status=" << status;
    else
        CH_DEBUG << "canSetBusParams -> ok";
}

void CANopenKvaserCommandHandler::shutChannel()
{
    if (m_handle >= 0 && m_library->isLoaded()) {
        KvaserLibrary::canBusOff(m_handle);
        KvaserLibrary::canClose(m_handle);
    }
    m_handle = -1;
}

bool CANopenKvaserCommandHandler::openDevice(QVariant bitRate)
{
    const int rate = bitRate.toInt();
    CH_DEBUG << "bitrate:" << rate;
    deviceOpen = false;
    // Opening again (reopenDevice) must not leave the previous channel open behind it.
    shutChannel();
    if (!m_library->acquire() || !KvaserLibrary::hasCoreFunctions()) {
        CH_DEBUG << "canInitializeLibrary -> failed";
        m_library->release();
        m_handle = -1;
        return false;
    }
    KvaserLibrary::canInitializeLibrary();
    CH_DEBUG << "canInitializeLibrary -> ok";
    m_handle = KvaserLibrary::canOpenChannel(0, KvaserLibrary::kOpenRequireInitAccess);
    if (m_handle < 0)
        m_handle = KvaserLibrary::canOpenChannel(0, KvaserLibrary::kOpenNoInitAccess);
    if (m_handle < 0) {
        CH_DEBUG << "canOpenChannel -> failed! handle=" << m_handle;
        return false;
    }
    CH_DEBUG << "canOpenChannel -> ok";
    setDataRate(rate);
    long frequency = 0;
    unsigned int tseg1 = 0, tseg2 = 0, sjw = 0, samples = 0, syncMode = 0;
    if (KvaserLibrary::canGetBusParams(m_handle, &frequency, &tseg1, &tseg2, &sjw, &samples, &syncMode) >= 0)
        dataRate = int(frequency / 1000);
    const int status = KvaserLibrary::canBusOn(m_handle);
    if (status < 0) {
        CH_DEBUG << "canBusOn -> failed! status=" << status;
        KvaserLibrary::canClose(m_handle);
        m_handle = -1;
        return false;
    }
    CH_DEBUG << "canBusOn -> ok";
    deviceOpen = true;
    return true;
}

bool CANopenKvaserCommandHandler::closeDevice()
{
    CH_DEBUG << "handle:" << m_handle;
    if (m_handle >= 0 && m_library->isLoaded()) {
        const int off = KvaserLibrary::canBusOff(m_handle);
        CH_DEBUG << (off < 0 ? "canBusOff failed! status:" : "canBusOff -> ok! status:") << off;
        const int closed = KvaserLibrary::canClose(m_handle);
        CH_DEBUG << (closed < 0 ? "canClose -> failed! status:" : "canClose -> ok! status:") << closed;
    }
    m_handle = -1;
    m_library->release();
    deviceOpen = false;
    return true;
}

bool CANopenKvaserCommandHandler::sendFrame(const CanMessage &frame)
{
    if (m_handle < 0 || !m_library->isLoaded())
        return false;
    quint8 data[8];
    std::copy(frame.data, frame.data + 8, data);
    return KvaserLibrary::canWrite(m_handle, long(frame.id), data, unsigned(qBound(0, frame.length, 8)), 0) == 0;
}

bool CANopenKvaserCommandHandler::takeFrame(CanMessage &frame)
{
    if (m_handle < 0 || !m_library->isLoaded())
        return false;
    quint8 data[64] = {}; // room for the largest frame a channel may deliver, whatever it reports
    long id = 0;
    unsigned int dlc = 0;
    if (KvaserLibrary::canRead(m_handle, &id, data, &dlc, nullptr, nullptr) != 0)
        return false;
    frame.id = quint32(id);
    frame.setData(data, int(qMin(dlc, 8u)));
    return true;
}
