/* Exported functions of the SDK library "vxsdk".
 *
 * Results follow one convention: 1 success; 0 nothing to hand out; -1 null
 * handle or argument; -2 the exchange failed or the device refused; -3, -4,
 * -5, -10 and -100 particular refusals named per function; 4 a bad argument,
 * file or input. A connection handle must be used by one thread at a time. */
#ifndef VXSDK_H
#define VXSDK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Connection ---------------------------------------------------------- */

/* Called on the connection's reader thread for every device event; `data` is
 * valid during the call only. */
typedef int (*VxEventCallback)(intptr_t userData, int eventCode, int dataLength, const unsigned char* data);

/* Opens a connection over UDP and probes the firmware; a handle, or null with
 * the reason in VX_LastError(). */
void* VX_Connect_NET(const char* ipAddress, int port, VxEventCallback eventCallback, intptr_t userData, int commKey);
/* Opens a connection over a serial line ("brokerlink.dll"), dialling through
 * a modem when phoneNumber is given (at most 19 characters); baudRate 0 opens
 * nothing. A handle, or null. */
void* VX_Connect_COM(int port, int machineNumber, int baudRate, VxEventCallback eventCallback, intptr_t userData,
                     int commKey, const char* phoneNumber);
/* Closes the connection and frees everything it holds; 1, or -1 for a null handle. */
int VX_Close(void* handle);
/* Why the most recent opening of any connection failed (0 after a success). */
int VX_LastError(void);
/* Registers for device events with a mask; 1, -1, -2. */
int VX_RegEvent(void* handle, int eventMask);
/* Reads the firmware version text into a buffer of at least 50 bytes; 1, -1, -2. */
int VX_GetFirmwareVersion(void* handle, char* version);
/* Writes "6.0.1.16" into a buffer of at least 9 bytes; 1. */
int VX_GetSDKVersion(char* version);
/* Lets the device take input again; 1, -1, -2. */
int VX_EnableDevice(void* handle);
/* Locks the device's keyboard and sensor; timeOut is passed on unchanged. 1, -1, -2. */
int VX_DisableDevice(void* handle, int timeOut);

/* ---- Fingerprint templates without a device ------------------------------ */
/* Templates are at most 2048 bytes; the functions read at most that much. */

/* Hands out the length of a template in any of its three forms (1 for the old
 * form, 0 when it is none); 1, or 4 when it is not a valid template. */
int VX_FPTempLength(const unsigned char* templateData, int* length);
/* Re-encodes a template in place in the token form so that it fits maxLength
 * bytes (dropping the grid, then minutiae); 1, or 4 failed. */
int VX_SetFPTempLength(unsigned char* templateData, int maxLength);
/* Converts a template to the range form; 1, or 4 when the result is shorter than 51 bytes. */
int VX_FPTempConvert(const unsigned char* source, unsigned char* destination, int* length);
/* Brings a template into the token form; *length in: a wanted maximum, applied
 * when above 100, below 2048 and below the result; out: the result's length.
 * 1, or 4 when the result is 50 bytes or less. */
int VX_FPTempConvertNew(const unsigned char* source, unsigned char* destination, int* length);
/* Each of the four returns -1 for a null template or destination; a null
 * length is not written. */

#ifdef __cplusplus
}
#endif

#endif
