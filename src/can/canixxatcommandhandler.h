#pragma once

#include "canzaplcommandhandler.h"
#include "commandhandler_global.h"

/// ZAPL over an IXXAT adapter, named "CAN Ixxat". The adapter objects are process-wide: one
/// IXXAT connection exists at a time, shared with CANopenIxxatCommandHandler. openDevice() opens
/// the first device with a CAN socket; a bit rate the line refuses is only written as a line.
///
/// The library is vciapi.dll on Windows. Linux has no library of that interface: openDevice()
/// fails cleanly, unless a library named libvciapi.so is supplied.
class COMMANDHANDLER_EXPORT CANIxxatCommandHandler : public CANZAPLCommandHandler
{
    Q_OBJECT
    Q_INTERFACES(CommandHandlerInterface)
public:
    /// A closed handler.
    explicit CANIxxatCommandHandler(QObject *parent = nullptr);
    /// Releases the adapter objects if this handler opened them, and its use of the library.
    ~CANIxxatCommandHandler() override;
};
