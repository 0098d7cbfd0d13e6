#pragma once

// Run-time binding of the FTDI libraries. Each vendor's entry points are listed once; the
// pointer types, the table members and the resolving code are generated from the lists.

#include "ft4222htypes.h"

#include <QString>

#if defined(_WIN32) && !defined(_WIN64)
#define CH_D2XX_API __stdcall // D2XX is WINAPI; LibFT4222 has no convention, so it is __cdecl
#else
#define CH_D2XX_API
#endif

typedef quint32 DWORD_FT; // the vendors' DWORD and ULONG: 4 bytes on Windows and in their Linux headers

struct FT4222_Version
{
    DWORD_FT chipVersion;
    DWORD_FT dllVersion;
};

// name, parameter list
#define CH_D2XX_FUNCTIONS(X)                                                                                           \
    X(FT_CreateDeviceInfoList, (DWORD_FT * numDevs))                                                                   \
    X(FT_GetDeviceInfoList, (void *dest, DWORD_FT *numDevs))                                                           \
    X(FT_GetDeviceInfoDetail,                                                                                          \
        (DWORD_FT index, DWORD_FT * flags, DWORD_FT * type, DWORD_FT * id, DWORD_FT * locId, void *serialNumber,       \
            void *description, FT_HANDLE *handle))                                                                     \
    X(FT_OpenEx, (void *arg, DWORD_FT flags, FT_HANDLE *handle))                                                       \
    X(FT_Close, (FT_HANDLE handle))                                                                                    \
    X(FT_SetTimeouts, (FT_HANDLE handle, DWORD_FT readMs, DWORD_FT writeMs))                                           \
    X(FT_Read, (FT_HANDLE handle, void *buffer, DWORD_FT toRead, DWORD_FT *read))                                      \
    X(FT_Write, (FT_HANDLE handle, void *buffer, DWORD_FT toWrite, DWORD_FT *written))                                 \
    X(FT_GetQueueStatus, (FT_HANDLE handle, DWORD_FT * rxBytes))                                                       \
    X(FT_GetStatus, (FT_HANDLE handle, DWORD_FT * rxBytes, DWORD_FT * txBytes, DWORD_FT * eventStatus))                \
    X(FT_GetDriverVersion, (FT_HANDLE handle, DWORD_FT * version))                                                     \
    X(FT_GetLibraryVersion, (DWORD_FT * version))

#define CH_FT4222_FUNCTIONS(X)                                                                                         \
    X(FT4222_UnInitialize, (FT_HANDLE handle))                                                                         \
    X(FT4222_SetClock, (FT_HANDLE handle, int clock))                                                                  \
    X(FT4222_GetClock, (FT_HANDLE handle, int *clock))                                                                 \
    X(FT4222_GetVersion, (FT_HANDLE handle, FT4222_Version * version))                                                 \
    X(FT4222_GetMaxTransferSize, (FT_HANDLE handle, quint16 * maxSize))                                                \
    X(FT4222_GPIO_Init, (FT_HANDLE handle, GPIO_Dir * directions))                                                     \
    X(FT4222_GPIO_Read, (FT_HANDLE handle, GPIO_Port port, int *value))                                                \
    X(FT4222_GPIO_Write, (FT_HANDLE handle, GPIO_Port port, int value))                                                \
    X(FT4222_SPIMaster_Init, (FT_HANDLE handle, int ioLine, int clockDiv, int cpol, int cpha, quint8 ssoMap))          \
    X(FT4222_SPIMaster_SingleRead, (FT_HANDLE handle, quint8 * buffer, quint16 size, quint16 * read, int end))         \
    X(FT4222_SPIMaster_SingleWrite, (FT_HANDLE handle, quint8 * buffer, quint16 size, quint16 * written, int end))     \
    X(FT4222_SPIMaster_SingleReadWrite,                                                                                \
        (FT_HANDLE handle, quint8 * readBuffer, quint8 * writeBuffer, quint16 size, quint16 * done, int end))          \
    X(FT4222_SPISlave_Init, (FT_HANDLE handle))                                                                        \
    X(FT4222_SPISlave_InitEx, (FT_HANDLE handle, SPI_SlaveProtocol protocol))                                          \
    X(FT4222_SPISlave_GetRxStatus, (FT_HANDLE handle, quint16 * rxSize))                                               \
    X(FT4222_SPISlave_Read, (FT_HANDLE handle, quint8 * buffer, quint16 size, quint16 * read))                         \
    X(FT4222_SPISlave_Write, (FT_HANDLE handle, quint8 * buffer, quint16 size, quint16 * written))                     \
    X(FT4222_SPI_Reset, (FT_HANDLE handle))                                                                            \
    X(FT4222_SPI_SetDrivingStrength, (FT_HANDLE handle, int clock, int io, int sso))

#define CH_FT_MEMBER(name, args) FT_STATUS(CH_D2XX_API *name) args = nullptr;
struct D2xxApi
{
    CH_D2XX_FUNCTIONS(CH_FT_MEMBER)
};
#undef CH_FT_MEMBER
#define CH_FT_MEMBER(name, args) FT_STATUS(*name) args = nullptr;
struct Ft4222Api
{
    CH_FT4222_FUNCTIONS(CH_FT_MEMBER)
};
#undef CH_FT_MEMBER

// D2XX's open-by-location mode, success and invalid-handle codes.
constexpr DWORD_FT kFtOpenByLocation = 4;
constexpr FT_STATUS kFtOk = 0;
constexpr FT_STATUS kFtInvalidHandle = 1;

// A vendor value as the log lines show it: hexadecimal with "0x".
inline QString ftHex(quint32 value)
{
    return QStringLiteral("0x") + QString::number(value, 16);
}

// Loads both libraries (log lines and critical messages as their loaders write them) and
// holds them for the caller until its FT4222H_unloadLibraries(): the last release unloads
// them, so one handler's close never pulls the functions from under another. A load that
// fails half-way releases what it loaded, unless a handler holds it.
// The D2XX is the one the bridge's handles belong to: where the FT4222 library carries its
// own copy (Linux), that one, and the ftd2xx library is not needed.
bool FT4222H_loadLibraries();
void FT4222H_unloadLibraries();

const D2xxApi &ftd2xx();
const Ft4222Api &ft4222();

// Platform file names, for QLibrary: the libraries that may supply D2XX in the order
// preferred, and the FT4222 library's.
QStringList d2xxLibraryNames();
QStringList ft4222LibraryNames();
