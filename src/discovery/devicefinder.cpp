#include "devicefinder.h"

#include "basictools.h"
#include "chlog_p.h"
#include "global.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaType>

Q_DECLARE_METATYPE(QString *)

namespace {
std::atomic<unsigned> scanCounter { 0 };
constexpr unsigned long kAfterVersionQueryMs = 10;
constexpr unsigned long kAfterFirmwareQueryMs = 60;
constexpr unsigned long kBetweenAddressesMs = 100;
} // namespace

constexpr const char DeviceFinder::kModuleTypePrefix[];

DeviceFinder::DeviceFinder() : QThread(nullptr)
{
    // Hosts connect the request signals blocking-queued; the pointer type must be known.
    qRegisterMetaType<QString *>("QString*");
}

DeviceFinder::~DeviceFinder()
{
    m_stop = true;
    // The scan may be blocked in a blocking-queued request to a handler of this thread:
    // deliver such calls while waiting, or neither side would ever return.
    while (!wait(10))
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
}

void DeviceFinder::run()
{
    m_stop = false;
    const unsigned n = scanCounter.fetch_add(1);
    Global::instance()->registerThread(
        QThread::currentThread(), QStringLiteral("Find-") + BasicTools::itoOrdinal(static_cast<int>(n)));

    emit checkingModule(0);
    int count = 0;
    // Wider than 8 bits so that a range ending at 255 ends.
    for (int a = m_idFrom; a <= m_idTo; ++a) {
        const auto address = static_cast<quint8>(a);
        if (address == m_replyId)
            continue;
        CH_DEBUG << "Try to read module and firmware version... (" << a << "|" << 0 << ")";
        QString versionText;
        emit handleGetModuleAndFirmwareVersion(&versionText, address);
        msleep(kAfterVersionQueryMs);
        if (!versionText.isEmpty()) {
            CH_DEBUG << "firmware version:" << versionText << "found before:" << count;
            QString firmwareText;
            if (versionText.left(4) == QLatin1String(kModuleTypePrefix)) {
                firmwareText = versionText.right(4);
            } else {
                emit handleGetFirmwareVersion(&firmwareText, address);
                msleep(kAfterFirmwareQueryMs);
            }
            if (!firmwareText.isEmpty()) {
                QString moduleName;
                if (!BasicTools::matchFirmwareVersion(moduleName, versionText, 0).isEmpty()) {
                    emit foundModule(address, moduleName, firmwareText);
                    ++count;
                }
            }
        }
        emit checkingModule(address);
        if (m_stop)
            break;
        msleep(kBetweenAddressesMs);
    }
    emit modulesFound(count);
    Global::instance()->unregisterThread(QThread::currentThread());
}
