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
