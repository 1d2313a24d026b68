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

/* ---- Fingerprint templates without a device ------------------------------ */
/* Templates are at most 2048 bytes; the functions read at most that much. */

/* Hands out the length of a template in any of its three forms; 1, or 4 when
 * it is not a valid template. */
int VX_FPTempLength(const unsigned char* templateData, int* length);
/* Re-encodes a template in place so that it fits maxLength bytes; 1, or 4 failed. */
int VX_SetFPTempLength(unsigned char* templateData, int maxLength);
/* Converts a template to the range form; 1, or 4 when the result is shorter than 51 bytes. */
int VX_FPTempConvert(const unsigned char* source, unsigned char* destination, int* length);
/* Brings a template into the token form, shortened to *length when that is
 * above 100 and below 2048; 1, or 4 when the result is 50 bytes or less. */
int VX_FPTempConvertNew(const unsigned char* source, unsigned char* destination, int* length);

#ifdef __cplusplus
}
#endif

#endif
