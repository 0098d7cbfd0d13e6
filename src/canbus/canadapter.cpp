#include "canadapter_p.h"

#include "chlog_p.h"

QString CanTrace::tag() const
{
    return ch::objectTag(m_self, m_function);
}

QDebug CanTrace::line() const
{
    // A disabled category gives a stream that writes nothing.
    QDebug stream = QMessageLogger(nullptr, 0, nullptr).debug(chMain());
    stream.noquote() << tag();
    return stream;
}

CanAdapter::~CanAdapter() = default;

void CanAdapter::notify(CanAdapterNotice::Kind kind, const QString &text, const QString &device) const
{
    if (m_sink)
        m_sink({ kind, text, device });
}

void CanAdapter::applyOwnerRate(int kbitPerSecond, const CanTrace &trace)
{
    if (m_rateHook)
        m_rateHook(kbitPerSecond);
    else
        applyBitRate(kbitPerSecond, trace);
}

int canBitRateOf(const QVariant &device)
{
    const QVariant rate = device.canConvert<QVariantList>() && device.userType() != QMetaType::QString
        ? device.toList().value(0)
        : device;
    bool ok = false;
    const int kbit = rate.toInt(&ok);
    return ok ? kbit : 0;
}

CanBitRateCodes canBitRateCodes(int kbitPerSecond)
{
    static const CanBitRateCodes table[] = {
        { 1000, 0, -1, 0x0014, 0x00, 0x14 },
        { 800, 0, 0, 0x0016, 0x00, 0x14 },
        { 500, 2, -2, 0x001C, 0x00, 0x1C },
        { 250, 4, -3, 0x011C, 0x01, 0x1C },
        { 125, 6, -4, 0x031C, 0x03, 0x1C },
        { 100, 7, -5, 0x432F, 0x04, 0x1C },
        { 50, 9, -7, 0x472F, 0x09, 0x1C },
        { 20, 11, 0, 0x532F, 0x18, 0x1C },
        { 10, 13, -9, 0x672F, 0x31, 0x1C },
    };
    for (const CanBitRateCodes &row : table) {
        if (row.kbit == kbitPerSecond)
            return row;
    }
    return { kbitPerSecond, 0, 0, 0x0014, 0x00, 0x14 };
}
