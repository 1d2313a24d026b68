// Users and templates.

// ---- Fingerprint templates without a device ---------------------------------
// Thin exports over the template codec, which works on the SDK's 2048-byte
// template areas.
#include "platform/export.h"
#include "vxsdk.h"
#include "vxsdk/codec/codec.h"

VX_EXPORT int VX_FPTempLength(const unsigned char* templateData, int* length) {
  return vxcodec::fpTempLength(templateData, length);
}

VX_EXPORT int VX_SetFPTempLength(unsigned char* templateData, int maxLength) {
  return vxcodec::setFpTempLength(templateData, maxLength);
}

VX_EXPORT int VX_FPTempConvert(const unsigned char* source, unsigned char* destination, int* length) {
  return vxcodec::fpTempConvert(source, destination, length);
}

VX_EXPORT int VX_FPTempConvertNew(const unsigned char* source, unsigned char* destination,
                                  int* length) {
  return vxcodec::fpTempConvertNew(source, destination, length);
}
// ---- End of the template functions -------------------------------------------
