#include "canopenesdcommandhandler.h"

#include "canopenbitrates_p.h"
#include "chlog_p.h"
#include "esdlibrary_p.h"

#include <cstring>
#include <type_traits>

namespace {
// The handle is a pointer on Windows and an integer elsewhere; the header keeps it as qintptr.
template<typename H = EsdHandle> H handleOf(qintptr h)
{
    if constexpr (std::is_pointer_v<H>)
        return reinterpret_cast<H>(h);
    else
        return H(h);
}
template<typename H> qintptr storedHandle(H h)
{
    if constexpr (std::is_pointer_v<H>)
        return reinterpret_cast<qintptr>(h);
    else
        return qintptr(h);
}
} // namespace

CANopenEsdCommandHandler::CANopenEsdCommandHandler(QObject *parent)
    : CANopenServiceHandler({ 0, true, true }, parent), m_library(new VendorLibraryUse(EsdLibrary::library()))
{
    m_libraryAvailable = m_library->acquire();
    setObjectName(QStringLiteral("CANopen ESD"));
    setDeviceName(objectName());
}

CANopenEsdCommandHandler::~CANopenEsdCommandHandler()
{
    // A net left open would outlive the library that owns it.
    if (m_handle && m_libraryAvailable)
        EsdLibrary::canClose(handleOf(m_handle));
    delete m_library;
}

void CANopenEsdCommandHandler::setDataRate(int kbit)
{
    dataRate = kbit;
    if (m_handle && m_libraryAvailable)
        EsdLibrary::canSetBaudrate(handleOf(m_handle), canopen::adapterRate(kbit).esdIndex);
}

bool CANopenEsdCommandHandler::openDevice(QVariant bitRate)
{
    const int rate = bitRate.toInt();
    CH_DEBUG << "bitrate:" << rate;
    if (!m_libraryAvailable) {
        CH_DEBUG << "DLL load error!";
        return false;
    }
    CH_DEBUG << "DLL load success!";
    if (m_handle) // opening again must not leave the previous net open behind it
        EsdLibrary::canClose(handleOf(m_handle));
    EsdHandle handle {};
    const EsdResult result = EsdLibrary::canOpen(m_net, 0, 255, 255, 0, 0, &handle);
    CH_DEBUG << "canOpen:" << result;
    if (result != EsdLibrary::kSuccess) {
        deviceOpen = false;
        m_handle = 0;
        return false;
    }
    m_handle = storedHandle(handle);
    setDataRate(rate);
    for (qint32 id = 0; id <= 0x7FF; ++id)
        EsdLibrary::canIdAdd(handle, id);
    deviceOpen = true;
    return true;
}

bool CANopenEsdCommandHandler::closeDevice()
{
    if (m_handle && m_libraryAvailable)
        EsdLibrary::canClose(handleOf(m_handle));
    m_handle = 0;
    if (!deviceOpen)
        CH_DEBUG << " !this->open";
    deviceOpen = false;
    return true;
}

bool CANopenEsdCommandHandler::sendFrame(const CanMessage &frame)
{
    if (!m_handle || !m_libraryAvailable)
        return false;
    EsdMessage record {};
    record.id = qint32(frame.id);
    record.len = quint8(qBound(0, frame.length, 8));
    std::memcpy(record.data, frame.data, sizeof record.data);
    qint32 count = 1;
    return EsdLibrary::canSend(handleOf(m_handle), &record, &count) == EsdLibrary::kSuccess && count > 0;
}

bool CANopenEsdCommandHandler::takeFrame(CanMessage &frame)
{
    if (!m_handle || !m_libraryAvailable)
        return false;
    EsdMessage record {};
    qint32 count = 1;
    if (EsdLibrary::canTake(handleOf(m_handle), &record, &count) != EsdLibrary::kSuccess || count <= 0)
        return false;
    frame.id = quint32(record.id);
    // The low nibble is the length code; it may exceed 8, the data never do.
    frame.setData(record.data, qMin(record.len & 0x0F, 8));
    return true;
}
