#pragma once

#include "canopenservicehandler.h"

/// CANopen master on an IXXAT adapter, named "CAN IXXAT"; shares the process-wide adapter
/// objects with CANIxxatCommandHandler, so one IXXAT connection exists at a time. openDevice()
/// opens the first device with a CAN socket; a bit rate the line refuses is only written as a
/// line. A frame the filter rejects does not replace lastReceivedFrame(). SYNC has no data byte.
///
/// The library is vciapi.dll on Windows. Linux has no library of that interface: openDevice()
/// fails cleanly, unless a library named libvciapi.so is supplied.
class COMMANDHANDLER_EXPORT CANopenIxxatCommandHandler : public CANopenServiceHandler
{
    Q_OBJECT
    Q_INTERFACES(CANopenHandlerInterface)
public:
    /// A closed handler at 1000 kbit/s.
    explicit CANopenIxxatCommandHandler(QObject *parent = nullptr);
    /// Releases the adapter objects if this handler opened them, and its use of the library.
    ~CANopenIxxatCommandHandler() override;
};
