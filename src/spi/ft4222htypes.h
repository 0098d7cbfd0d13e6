#pragma once

// The few FTDI types the bridge handler's interface names. Declared here so that neither the
// library nor its hosts need the vendor's headers; widths follow the vendors' ABI on every
// target (DWORD and FT_STATUS are 4 bytes, C enums are 4-byte int).

#include <QtGlobal>

typedef void *FT_HANDLE;
typedef quint32 FT_STATUS;

enum GPIO_Dir { GPIO_OUTPUT = 0, GPIO_INPUT = 1 };
enum GPIO_Port { GPIO_PORT0 = 0, GPIO_PORT1 = 1, GPIO_PORT2 = 2, GPIO_PORT3 = 3 };
enum SPI_SlaveProtocol { SPI_SLAVE_WITH_PROTOCOL = 0, SPI_SLAVE_NO_PROTOCOL = 1, SPI_SLAVE_NO_ACK = 2 };
