/* Exported functions of the protocol engine "wirecore". Every call takes an
 * engine handle returned by VXEMBPRO_INIT or VXEMBPRO_INITEX. A 16-bit `code`
 * goes in as the command and comes back as the device's reply code or one of
 * the host-side outcomes CMD_ACK_NO (-2), CMD_ACK_ERROR_CMD (-3) and
 * CMD_ACK_ERROR_DATA (-5). One engine must be used by one thread at a time. */
#ifndef WIRECORE_H
#define WIRECORE_H

#include <stdint.h>

#include "embudp.h"
#include "vxproto.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void* EngineHandle;

/* Called on the engine's reader thread for every new device event; `data`
 * points into the engine's receive buffer and is valid during the call only. */
typedef int (*EventCallback)(intptr_t callbackData, int eventCode, int dataLength, const unsigned char* data);

/* Loads the transport library by name, opens the link, connects (and
 * authenticates with commKey when the device demands it). Null on failure,
 * with the reason in VXEMBPRO_LASTERROR. */
EngineHandle VXEMBPRO_INIT(const char* transportLibrary, intptr_t linkAddress, uint16_t linkPort,
                           int32_t linkParameter, EventCallback eventCallback, intptr_t callbackData,
                           int32_t commKey);
/* As VXEMBPRO_INIT; a non-empty phoneNumber (at most 19 characters) makes a
 * modem link that dials before connecting. */
EngineHandle VXEMBPRO_INITEX(const char* transportLibrary, intptr_t linkAddress, uint16_t linkPort,
                             int32_t linkParameter, EventCallback eventCallback, intptr_t callbackData,
                             int32_t commKey, const char* phoneNumber);
/* Says goodbye to the device, stops the reader, closes the link, frees the engine. */
void VXEMBPRO_CLOSE(EngineHandle engine);
/* Sends one command and waits for its reply. Returns the reply's result word,
 * -2 when unanswered, -1 when the transport refused, 0 when too long to send. */
int VXEMBPRO_SENDCMD(EngineHandle engine, uint16_t* code, unsigned char* buffer, int replyCapacity,
                     int requestLength, int timeoutMs);
/* The last opening error of this process: 0 opened, -1 to -7 or -100. */
int VXEMBPRO_LASTERROR(void);

/* Uploads data into the device's transfer buffer; 1 when every byte was delivered. */
int VXEMBPRO_SENDDATA(EngineHandle engine, const unsigned char* data, int size, int timeoutMs);
/* Uploads, checks the device's buffer hash, runs the consuming command and frees the buffer. */
int VXEMBPRO_SENDCMDDATA(EngineHandle engine, uint16_t* code, const unsigned char* data, int size,
                         unsigned char* commandData, int commandDataLength, int timeoutMs);
/* Announcement-path read; strict mode keeps a block map across six attempts. */
int VXEMBPRO_READDATA1(EngineHandle engine, uint16_t* code, unsigned char* buffer, int capacity,
                       int requestLength, int strict, int timeoutMs);
/* Reads size bytes of a prepared device buffer range by range. */
int VXEMBPRO_READMEMORY(EngineHandle engine, uint16_t command, int start, int size, int blockSize,
                        int triesPerBlock, unsigned char* buffer);
/* Query-path read (hash-checked, LZO1X decompressed when flagged). */
int VXEMBPRO_READDATA2(EngineHandle engine, uint16_t* code, unsigned char* buffer, int capacity,
                       int requestLength, int blockSize, int timeoutMs);
/* Reads the whole data set named by the selector byte through CMD_DB_RRQ. */
int VXEMBPRO_READDB(EngineHandle engine, unsigned char selector, int blockSize, unsigned char* buffer,
                    int* capacity);
/* Query path for the data sets that support it, announcement path otherwise. */
int VXEMBPRO_READDATA(EngineHandle engine, uint16_t* code, unsigned char* buffer, int capacity,
                      int requestLength, int blockSize, int timeoutMs);
/* Size of the last data set that a read refused because the buffer was too
 * small (0 when the last read did not fail for that reason), so that a caller
 * can grow its buffer and read again. */
int VXEMBPRO_NEEDEDSIZE(EngineHandle engine);
/* Broadcasts a text to the local network through "comms.dll"; 1 sent, -1 failed. */
int SENDBROADCASTDATA(intptr_t ignored, const char* text);

#ifdef __cplusplus
}
#endif

#endif
