#pragma once

/// \file
/// The few FTDI types the bridge handler's interface names. Declared here so that neither the
/// library nor its hosts need the vendor's headers; widths follow the vendors' ABI on every
/// target (DWORD and FT_STATUS are 4 bytes, C enums are 4-byte int).

#include <QtGlobal>

typedef void *FT_HANDLE; ///< An open interface of the bridge.
typedef quint32 FT_STATUS; ///< A vendor call's status; 0 is success.

/// Direction of a GPIO line.
enum GPIO_Dir { GPIO_OUTPUT = 0, GPIO_INPUT = 1 };
/// One of the four GPIO lines of interface B; line 1 tells the module that data waits.
enum GPIO_Port { GPIO_PORT0 = 0, GPIO_PORT1 = 1, GPIO_PORT2 = 2, GPIO_PORT3 = 3 };
/// How the SPI slave frames its data; the handler uses SPI_SLAVE_NO_PROTOCOL.
enum SPI_SlaveProtocol { SPI_SLAVE_WITH_PROTOCOL = 0, SPI_SLAVE_NO_PROTOCOL = 1, SPI_SLAVE_NO_ACK = 2 };
