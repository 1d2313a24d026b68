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

/* ---- Device options and information -------------------------------------- */
/* Option values are texts "name=value"; names starting with '~' are factory
 * options, written scrambled to a device without the option "~OS". A write
 * whose text does not fit one packet (1023 characters with the name and '='),
 * or whose scrambled value is longer than 51 characters, is refused with 4 and
 * nothing is sent. Text buffers of the getters must hold 100 bytes. */

/* Reads an option by name (at most 98 characters, else 4) into value; 1, -1, -2. */
int VX_GetSysOption(void* handle, const char* option, char* value);
/* Writes an option by name; 1, -1, -2, 4 for an empty name or a text too long. */
int VX_SetSysOption(void* handle, const char* option, const char* value);
/* Reads a numbered option with its conversion. Index 8999: value is a text
 * holding a name, overwritten by the whole "name=value" reply; -5: value is an
 * area (first byte the data set kind, second 32-bit word the area size) that
 * receives the raw table; -6: empties the data set named by value's first
 * byte; -1 to -4 hand out the low 32 bits of the SDK module, engine module,
 * connection and engine handles and return 4. 1, -1, -2, 4. */
int VX_GetDeviceInfo(void* handle, int index, int* value);
/* Writes a numbered option (index taken modulo 10000) with its conversion; for
 * 8999 value is the address of a whole "name=value" text. 1, -1, -2, -100, 4. */
int VX_SetDeviceInfo(void* handle, int index, intptr_t value);
/* Reads a numbered text option (1: "~ProductTime"); 1, -1, -2, 4. */
int VX_GetDeviceStrInfo(void* handle, int index, char* value);
/* Makes the device reload its options; 1, -1, -2. */
int VX_RefreshOptions(void* handle);
/* Reads the serial number ("0" when the device has none); 1, -1, -2. */
int VX_GetSerialNumber(void* handle, char* serialNumber);
/* Reads the product name ("Tavix I" when the device has none); 1, -1, -2. */
int VX_GetProductName(void* handle, char* productName);
/* Reads the vendor ("Vextra Inc." when the device has none); 1, -1, -2. */
int VX_GetVendor(void* handle, char* vendor);
/* Reads the sensor serial number (empty when the device has none); 1, -1, -2. */
int VX_GetSensorSN(void* handle, char* sensorSN);
/* Reads the device's language code as it stores it; 1, -1, -2. */
int VX_GetLanguage(void* handle, int* language);
/* Writes the device's language code unchanged; 1, -1, -2. */
int VX_SetLanguage(void* handle, int language);
/* Reads the device's network address text; 1, -1, -2. */
int VX_GetIPAddress(void* handle, char* ipAddress);
/* Writes the device's network address text; 1, -1, -2, 4 too long. */
int VX_SetIPAddress(void* handle, const char* ipAddress);
/* Reads the device's UDP port; 1, -1, -2. */
int VX_GetDevicePort(void* handle, unsigned short* port);
/* Writes the device's UDP port (low 16 bits); 1, -1, -2. */
int VX_SetDevicePort(void* handle, int port);
/* Reads the device number; 1, -1, -2. */
int VX_GetDeviceNumber(void* handle, unsigned short* number);
/* Writes the device number (low 16 bits); 1, -1, -2. */
int VX_SetDeviceNumber(void* handle, int number);
/* Hands out 1 for a card-only device, 2 when its card reader is on, else 0; 1, -1, -2. */
int VX_GetCardFun(void* handle, int* cardFun);
/* Reads the lock (access control) function level; 1, -1, -2. */
int VX_GetACFun(void* handle, int* acFun);
/* Asks the device for its PIN width (5 when it does not say); 1, -1, -2. */
int VX_GetPINWidth(void* handle, int* width);
/* Hands out 1 for a TFT device, else 0, without an exchange; 1, -1. */
int VX_IsTFTMachine(void* handle, int* tft);
/* Reads the customer data text (empty when the device has none); 1, -1, -2. */
int VX_ReadCustData(void* handle, char* data);
/* Writes the customer data text, always in plain form; 1, -1, -2, 4 too long. */
int VX_WriteCustData(void* handle, const char* data);
/* Changes the communication key stored in the device; later connections must
 * pass the new key. 1, -1, -2. */
int VX_SetDeviceCommPwd(void* handle, int commKey);

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
