/* Transport interface: the functions a transport library exports, which the
 * protocol engine binds by name. A link is an opaque pointer-sized value. */
#ifndef EMBUDP_H
#define EMBUDP_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef intptr_t EmbLink;

/* linkAddress: a text address (network) or a serial port number; port: UDP
 * port or device number; parameter: ignored (network) or the baud rate. */
typedef EmbLink (*EMBUDP_INIT_FN)(intptr_t linkAddress, uint16_t port, int32_t parameter);
typedef int (*EMBUDP_CLOSE_FN)(EmbLink link);
/* Returns the bytes handed on; 0 when nothing was sent. */
typedef int (*EMBUDP_SEND_FN)(EmbLink link, const unsigned char* data, int length);
/* Returns the length of the one packet received, 0 when none came in time or
 * the read was cancelled, -1 on an error (a packet larger than the capacity). */
typedef int (*EMBUDP_READ_FN)(EmbLink link, unsigned char* buffer, int capacity, int timeoutMs);
/* Makes a read in progress return 0 promptly. Optional. */
typedef int (*EMBUDP_TERMINALREAD_FN)(EmbLink link);
/* Modem links only. */
typedef int (*EMBUDP_SENDTOMODEM_FN)(EmbLink link, const char* data, int length);
typedef int (*EMBUDP_READFROMMODEM_FN)(EmbLink link, unsigned char* buffer, int expectedLength, int timeoutMs);

/* The UDP transport "comms" also exports these two. */
typedef int (*EMBUDP_PREREAD_FN)(EmbLink link);
typedef int (*EMBUDP_SENDBROADCAST_FN)(const char* text);

#ifdef __cplusplus
}
#endif

#endif
