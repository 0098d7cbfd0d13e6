#pragma once

#include "canzaplcommandhandler.h"
#include "commandhandler_global.h"

/// ZAPL over an esd adapter on a net number, named "CAN ESD". Holds the esd library from
/// construction to destruction (a use count shared with CANopenEsdCommandHandler), so a missing
/// library is known at construction and openDevice() then returns false. openDevice() opens the
/// net with queues of 255 frames and receives every standard identifier but 0.
///
/// The library is ntcan.dll on Windows, bound under the decorated stdcall names first on 32-bit
/// Windows; libntcan.so.4 or libntcan.so with plain names on Linux.
class COMMANDHANDLER_EXPORT CANEsdCommandHandler : public CANZAPLCommandHandler
{
    Q_OBJECT
    Q_INTERFACES(CommandHandlerInterface)
public:
    /// A closed handler on net 0.
    explicit CANEsdCommandHandler(QObject *parent = nullptr);
    /// Closes the net and releases this handler's use of the library.
    ~CANEsdCommandHandler() override;

    /// The net the next openDevice() opens.
    void setNetID(int net);
};
