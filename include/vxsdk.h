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

/* ---- Device control and status ------------------------------------------ */
/* Restart, power-off and sleep close the connection once the device accepted:
 * the handle is invalid after a result of 1. */

/* Hands out status counter 1 to 20 (4 for another index, before any check); 1, -1, -2, 4. */
int VX_GetDeviceStatus(void* handle, int status, int* value);
/* Restarts the device and closes the connection; 1, -1, -2. */
int VX_RebootDevice(void* handle);
/* Switches the device off and closes the connection; 1, -1, -2. */
int VX_PowerOffDevice(void* handle);
/* Puts the device to sleep and closes the connection; 1, -1, -2. */
int VX_SleepDevice(void* handle);
/* Not supported by the devices: -100, or -1 for a null handle. */
int VX_ResumeDevice(void* handle);
/* Not supported by the devices: -100, or -1 for a null handle. */
int VX_AutoPowerOff(void* handle, int value);
/* Not supported by the devices: -100, or -1 for a null handle. */
int VX_PowerOffTime(void* handle, int value1, int value2, int value3, int value4, int value5);
/* Sets the device clock (the year counts modulo 100); 1, -1, -2. */
int VX_SetTime(void* handle, int year, int month, int day, int hour, int minute, int second);
/* Reads the device clock; 1, -1, -2. */
int VX_GetTime(void* handle, int* year, int* month, int* day, int* hour, int* minute, int* second);
/* Writes at most 97 characters of text at a row and column of the display; 1, -1, -2. */
int VX_WriteLCD(void* handle, int row, int column, const char* text);
/* Clears the display; 1, -1, -2. */
int VX_ClearLCD(void* handle);
/* Sounds the buzzer in 20 ms steps, at most 255 of them (5100 ms); 1, -1, -2. */
int VX_Beep(void* handle, int durationMs);
/* Plays the voice prompts from first to last; 1, -1, -2. */
int VX_PlayVoice(void* handle, int first, int last);
/* Plays one voice prompt; 1, -1, -2. */
int VX_PlayVoiceByIndex(void* handle, int index);
/* Shows (non-zero) or hides (0) the device's clock; 1, -1, -2. */
int VX_EnableClock(void* handle, int flag);
/* Starts enrolling a finger of a user on the device; 1, -1, else the engine's result. */
int VX_StartEnroll(void* handle, int number, int finger);
/* Starts verifying a finger of a user on the device; 1, -1, else the engine's result. */
int VX_StartVerify(void* handle, int number, int finger);
/* Starts identifying whoever puts a finger on; 1, -1, else the engine's result. */
int VX_StartIdentify(void* handle);
/* Cancels the on-device operation; 1, -1, else the engine's result. */
int VX_CancelOperation(void* handle);
/* Hands out the device's operating state word; 1, -1, -2. */
int VX_QueryState(void* handle, int* state);
/* Captures a fingerprint image (full non-zero: the whole sensor; *width, when
 * not 0, is sent as the wanted width), hands out its width and height, copies
 * it (width x height bytes, at most 307208) into image when given and writes
 * it as an 8-bit BMP file when fileName is given; 1, -1, -2, -100. */
int VX_CaptureImage(void* handle, int full, int* width, int* height, unsigned char* image, const char* fileName);
/* Writes a Mifare card: the user number, a 12-byte header of four entries (a
 * 16-bit template length and one more byte) and the templates from a 4096-byte
 * area. 1; 0, -4, -5 device refusals; -1; -2; 4 when the lengths pass the area. */
int VX_MFWrite(void* handle, int number, const unsigned char* header, const unsigned char* templates);
/* Empties a Mifare card; 1, 0, -1, -2, -4, -5. */
int VX_MFEmpty(void* handle);
/* Saves the device's raw data set of a kind to a file; 1; 0 no data (no file
 * is created); -1; -2; 4 the file could not be written; -100 no memory. */
int VX_GetData(void* handle, int kind, const char* fileName);

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

/* ---- Users and templates on the device ----------------------------------- */
/* The user table is kept in the connection's own buffer; a getter or query
 * downloads it when the connection holds none. Internal user numbers are 1 to
 * 65534; the PIN2 is the number people see (firmware from "Ver 5.04" on).
 * Every output pointer may be null, and that output is then skipped. Text
 * outputs are terminated: names after 8 characters (24 for string IDs),
 * passwords after 5 (8), user IDs after the PIN width (at most 24). Privilege
 * levels are 0 to 3 (4 for the device's code 10). Time-zone areas hold four
 * int32: the zones, -1 first when the user has none of its own. */

/* Downloads the user table; 1, 0 the device has no users, -1, -2. */
int VX_ReadUserInfo(void* handle);
/* Hands out the next user of the table (card area 5 bytes; 16-byte records of
 * old firmware give card 0, PIN2 0, group 1, no time zones); 1, 0 no more, -1, -2. */
int VX_GetUserInfo(void* handle, int* number, char* name, int* privilege, int* enabled, char* password,
                   unsigned char* card, int* pin2, int* group, int* timeZones);
/* Finds a user by internal number, or by the PIN2 passed in when number is 0
 * (pin2 then receives the record's PIN2); 1, 0 not found, -1, -2. */
int VX_QueryUserInfo(void* handle, int number, char* name, int* privilege, int* enabled, char* password,
                     unsigned char* card, int* pin2, int* group, int* timeZones);
/* The internal number of the user with this PIN2; 0 not found, -1, -2. */
int VX_QueryUserByPIN2(void* handle, int pin2);
/* The internal number of the user with these 5 card bytes; 0 not found, -1, -2. */
int VX_QueryUserByCard(void* handle, const unsigned char* card);
/* The internal number of the user with this PIN2; -1 not found or null handle, -2 below "Ver 5.04". */
int VX_GetUserID(void* handle, int pin2);
/* The PIN2 of an internal number (0 when it has none); -1 not found or null handle, -2 below "Ver 5.04". */
int VX_GetUserPIN2(void* handle, int number);
/* Reads the device's extended value of a user (by number, or by PIN2 when the
 * number is 0; by user ID text on a TFT device); 1, 0 user not found, -1, -2. */
int VX_GetUserInfoEx(void* handle, int number, int pin2, int* value);
/* Hands out the next string-ID user (name 25 bytes, password 9, shifts four
 * int32); 1, 0 no more, -1, -2. */
int SSR_VX_GetUserInfo(void* handle, int* number, char* userId, char* name, int* privilege, int* enabled,
                       char* password, int* card, int* department, int* shifts);
/* Finds a string-ID user by user ID; the password gets 8 characters without a
 * terminator. 1, 0 not found, -1, -2. */
int SSR_VX_QueryUserInfo(void* handle, const char* userId, char* name, int* privilege, int* enabled,
                         char* password, int* card, int* department, int* shifts, int* number);
/* Downloads the template table into the shared download buffer; 1, 0 none, -1, -2. */
int VX_ReadTempData(void* handle);
/* Reads one template from the device; *length in: the buffer's size, out: the
 * device's result word, never more than the bytes received. 1, 0 no such
 * template, -1, -2. */
int VX_GetUserTmp(void* handle, int number, int finger, unsigned char* templateData, int* length);
/* Finds a template in the downloaded table, or reads it from the device
 * without one (into a 2048-byte template area); 1, 0 not found, -1, -2. */
int VX_QueryUserTemp(void* handle, int number, int finger, unsigned char* templateData, int* length);
/* VX_GetUserTmp for a string user ID; 0 without an exchange for an unknown ID. */
int SSR_VX_GetUserTmp(void* handle, const char* userId, int finger, unsigned char* templateData, int* length);
/* VX_QueryUserTemp for a string user ID. */
int SSR_VX_QueryUserTemp(void* handle, const char* userId, int finger, unsigned char* templateData, int* length);
/* Asks the device whose template this is; 1 matched (number set), 0 no match,
 * -1, -2, -3 not a template that can be sent. */
int VX_TestUserTmp(void* handle, int* number, const unsigned char* templateData);

/* ---- Attendance, operation and real-time logs ------------------------------ */
/* Logs are downloaded into the connection's shared download buffer, one kind
 * of record at a time; each getter hands out the next record and downloads by
 * itself when its records are not there. Verify mode and in/out state are
 * written as one byte each. A getter returns 0 at the end, and for a record
 * the device marked to skip (the next call continues after it). */

/* Downloads the attendance log (through the data-set read from "Ver 6.01" on
 * when viaDataSet is set); 1, 0 the device has none, -1, -2. */
int VX_ReadLog(void* handle, int viaDataSet);
/* Downloads attendance records chosen by a device-defined selector (0: as VX_ReadLog); 1, 0, -1, -2. */
int VX_ReadLogExt(void* handle, int selector, int viaDataSet);
/* Downloads the operation log; 1, 0 none (or below "Ver 5.04"), -1, -2. */
int VX_ReadOpLog(void* handle, int viaDataSet);
/* Hands out the next attendance record; 1, 0 no more, -1, -2 download failed. */
int VX_GetLog(void* handle, int* number, unsigned char* verifyMode, unsigned char* state, int* year, int* month,
              int* day, int* hour, int* minute, int* second);
/* VX_GetLog with the work code and reserved value of extended records (0 for compressed ones). */
int VX_GetExtLog(void* handle, int* number, unsigned char* verifyMode, unsigned char* state, int* year, int* month,
                 int* day, int* hour, int* minute, int* second, int* workCode, int* reserved);
/* Hands out the next string-ID attendance record; the user ID is copied with
 * the PIN width as limit (zero-padded, unterminated when as long). 1, 0, -1, -2. */
int VX_SSR_GetLog(void* handle, char* userId, unsigned char* verifyMode, unsigned char* state, int* year,
                  int* month, int* day, int* hour, int* minute, int* second, int* workCode);
/* Hands out the next operation record (parameters: four int32); 1, 0 no more or below "Ver 5.04", -1, -2. */
int VX_GetOpLog(void* handle, int* adminNumber, int* operation, int* parameters, int* year, int* month, int* day,
                int* hour, int* minute, int* second);
/* Reads the device's new real-time records; 1, -1, -2, -100 below "Ver 6.01". */
int VX_ReadRTLog(void* handle);
/* Hands out the next real-time record: its user number and up to 36 raw bytes; 1, 0 none, -1. */
int VX_GetRTLog(void* handle, int* number, unsigned char* raw);
/* Reads a whole table into the caller's buffer; its first byte names the kind. 1, -1, -2. */
int VX_ReadData(void* handle, unsigned char* buffer, int size);
/* Clears the attendance log on the device; 1, -1, -2. */
int VX_ClearLogData(void* handle);
/* Clears the operation log on the device; 1, -1, -2. */
int VX_ClearOpLogData(void* handle);
/* Clears all data on the device and drops every download; 1, -1, -2. */
int VX_ClearData(void* handle);
/* Clears one kind of data (low byte 1 to 5) and drops every download; 1, -1, 4 another kind. */
int VX_ClearDataEx(void* handle, int kind);
/* Makes the device reload its data after changes; 1, -1, -2. */
int VX_RefreshData(void* handle);

/* ---- Attendance reports ------------------------------------------------- */
/* The report data downloads share the download buffer with the logs: save
 * each data set with VX_SSR_SaveDate right after its download. */

/* Downloads the attendance rules; 1, 0 the device has none, -1, -2. */
int VX_SSR_ReadAttRule(void* handle);
/* Downloads the departments; 1, 0 the device has none, -1, -2. */
int VX_SSR_ReadDPT(void* handle);
/* Downloads the shifts; 1, 0 the device has none, -1, -2. */
int VX_SSR_ReadTurn(void* handle);
/* Writes a downloaded data set to a new file (1 attendance log, 2 users,
 * 3 rules, 4 departments, 5 shifts); 1, 0 nothing to save or another kind,
 * -1, -2 the file cannot be written whole. */
int VX_SSR_SaveDate(void* handle, const char* fileName, int dataKind);
/* Calculates attendance from the saved files for one user ID, or for every
 * user of the connection from its user cursor on when userId is empty, and
 * writes the HTML report of reportKind (1 punches, 2 exceptions, 3 totals;
 * another kind writes no page); 1, 0 no users, -1, -2 user download failed. */
int VX_SSR_OutPutHtml(void* handle, const char* userId, const char* logFile, const char* userFile,
                      const char* departmentFile, const char* shiftFile, int startYear, int startMonth,
                      int startDay, int startHour, int startMinute, int startSecond, int endYear, int endMonth,
                      int endDay, int endHour, int endMinute, int endSecond, const char* outputFile,
                      const char* workDirectory, const char* ruleFile, int reportKind, const char* label);

#ifdef __cplusplus
}
#endif

#endif
