#pragma once

#include "canmessage.h"
#include "commandhandler_global.h"

#include <QBasicTimer>
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimerEvent>
#include <QVariant>
#include <QtPlugin>

// Abstract CANopen master: one per adapter kind. Services block their caller in a nested
// event loop; the owner must keep calling checkForCanMessage() for replies to arrive.
class COMMANDHANDLER_EXPORT CANopenHandlerInterface : public QObject
{
    Q_OBJECT
public:
    explicit CANopenHandlerInterface(QObject *parent = nullptr);
    ~CANopenHandlerInterface() override;

    virtual void setDataRate(int kbit) = 0;
    virtual bool openDevice(QVariant parameter) = 0;
    virtual bool closeDevice() = 0;
    virtual bool reopenDevice() = 0;
    virtual bool isBusy();

    virtual void NMTResetAppl(unsigned char node) = 0;
    virtual void NMTResetComm(unsigned char node) = 0;
    virtual void NMTStop(unsigned char node) = 0;
    virtual void NMTPreOp(unsigned char node) = 0;
    virtual void NMTStart(unsigned char node) = 0;

    // Expedited download of `size` (1..4) bytes of `value`.
    virtual unsigned char SDOWrite(unsigned char node, unsigned short index, unsigned char subIndex, unsigned char size,
        int value, unsigned int &abortCode)
        = 0;
    // Segmented download; `size`, not data.size(), decides how many bytes go out.
    virtual unsigned char SDOWrite(unsigned char node, unsigned short index, unsigned char subIndex, unsigned int size,
        QByteArray data, unsigned int &abortCode)
        = 0;
    virtual unsigned char SDORead(
        unsigned char node, unsigned short index, unsigned char subIndex, QVariant &value, unsigned int &info)
        = 0;
    virtual void PDOTransmit(unsigned short cobId, QByteArray data) = 0;
    virtual void SYNCPulse() = 0;

    virtual void LSSSend(unsigned char cs) = 0;
    virtual void LSSSend(unsigned char cs, unsigned char b1) = 0;
    virtual void LSSSend(unsigned char cs, unsigned char b1, unsigned char b2) = 0;
    virtual void LSSSend(unsigned char cs, unsigned short value16) = 0;
    virtual void LSSSend(unsigned char cs, unsigned int value32) = 0;
    virtual unsigned char LSSSendAndWait(unsigned char cs, unsigned char replyCs, unsigned int &valueOut,
        unsigned char &b1Out, unsigned char &b2Out, unsigned int timeout)
        = 0;
    virtual unsigned char LSSSendAndWait(unsigned char cs, unsigned char b1, unsigned char replyCs,
        unsigned int &valueOut, unsigned char &b1Out, unsigned char &b2Out, unsigned int timeout)
        = 0;
    virtual unsigned char LSSSendAndWait(unsigned char cs, unsigned char b1, unsigned char b2, unsigned char replyCs,
        unsigned int &valueOut, unsigned char &b1Out, unsigned char &b2Out, unsigned int timeout)
        = 0;
    virtual unsigned char LSSSendAndWait(unsigned char cs, unsigned int value32, unsigned char replyCs,
        unsigned int &valueOut, unsigned char &b1Out, unsigned char &b2Out, unsigned int timeout)
        = 0;
    // The request several nodes may answer at once: always waits the full time-out.
    virtual unsigned char LSSSendAndWait(unsigned char cs, unsigned int value32, unsigned char b5, unsigned char b6,
        unsigned char b7, unsigned char replyCs, unsigned int timeout)
        = 0;

    bool isDeviceOpen() const { return deviceOpen; }
    int getDataRate() const { return dataRate; }
    QString getDeviceName() const { return deviceName; }
    void setDeviceName(QString name);
    void setSDOTimeout(unsigned int ms) { sdoTimeout = ms; }
    unsigned int getSDOTimeout() const { return sdoTimeout; }
    // Disabling nests; surplus enables are ignored.
    void setHistoryEnabled(bool enabled);
    bool isHistoryEnabled() const { return historyBlockCount == 0; }
    void filterEnable(bool enabled) { filterEnabled = enabled; }
    // The predefined connection set of nodes 1..127 plus the broadcast services.
    bool filterPassed(unsigned int id) const;

signals:
    void handleAttachedDevice(int connectionType, QString port, QString description);
    void handleDetachedDevice(int connectionType, QString port);
    void deviceClosed(char address);
    void receivedCanMessage(CanMessage &data);
    void logReceivedCanMessage(CanMessage &data);
    void logSentCanMessage(CanMessage &data);
    void countSentCanMessage();
    void receivedPDO(CanMessage &data);

public slots:
    // Takes at most one frame from the adapter and reports it.
    virtual void checkForCanMessage() = 0;

private slots:
    void timerEvent(QTimerEvent *event) override;

protected:
    QString deviceName;
    QBasicTimer statisticsTimer;
    QElapsedTimer statisticsClock;
    int sentFrameCount = 0;
    int historyBlockCount = 0;
    bool deviceOpen = false;
    bool debugOutput = true;
    int dataRate = 0;
    unsigned int sdoTimeout = 500;
    bool filterEnabled = false;
};

#define CANopenHandlerInterface_iid "com.orvex.CANopenHandler/1.0"
Q_DECLARE_INTERFACE(CANopenHandlerInterface, CANopenHandlerInterface_iid)
