#pragma once
// Device options: reading and writing option texts, the scrambled form of
// factory values, the conversions of the numbered option table and the PIN
// width. The exported calls live in options.cpp; other API files use these.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "vxsdk/api/connection.h"

namespace vxsdk {
// Reply area of every option read.
constexpr int kOptionReplyArea = 100;
// Longest name a read accepts: "name=" must leave room for a value in the reply area.
constexpr std::size_t kMaxOptionName = kOptionReplyArea - 2;
// Longest value sent in scrambled form; the device decodes into an area of this size.
constexpr std::size_t kMaxScrambledValue = 51;
// Result for a text that cannot be sent: too long, or a required part empty.
constexpr int kRefused = 4;

struct OptionReply {
  std::uint16_t code = 0;  // the device's reply code, or the engine's outcome
  std::string value;       // the text after "name=" when code is CMD_ACK_OK
};

// One read of a named option (CMD_OPTIONS_RRQ, 100-byte reply area,
// shortTimeout, no repeat). The name must be at most kMaxOptionName long.
OptionReply readOption(Connection& c, std::string_view name);

// How a write sends its value.
enum class ValueForm {
  Auto,   // scrambled for a factory ("~") name when the device lacks "~OS"
  Plain,  // always as plain text
};

// Writes "name=value" (CMD_OPTIONS_WRQ, shortTimeout). 1 on CMD_ACK_OK, -2
// otherwise, 4 when the text does not fit a packet or a scrambled value is
// longer than kMaxScrambledValue (nothing is sent then).
int writeOption(Connection& c, std::string_view name, std::string_view value, ValueForm form, int replyArea);
// Sends a complete option text as it stands; 1, -2, or 4 when it does not fit a packet.
int writeOptionText(Connection& c, std::string_view text, int replyArea);

// The scrambled form of a value: the key byte and the chain k(i+1) = k(i)
// XOR value[i], each byte as two upper-case hexadecimal digits.
std::string scrambleValue(std::string_view value, std::uint8_t key);
// A fresh key byte: the low 8 bits of (random + tick count) x 1000, so
// always a multiple of 8.
std::uint8_t drawScrambleKey();

// Decimal text as the device writes it: leading blanks, a sign, digits; the
// first other character ends it; saturates at the int32 range; 0 for none.
std::int32_t parseDecimal(std::string_view text);

// Conversions of the numbered option table between the application's value
// and the device's.
std::int32_t languageToDevice(std::int32_t value);
std::int32_t languageFromDevice(std::int32_t value);
std::int32_t baudRateToDevice(std::int32_t value);
std::int32_t baudRateFromDevice(std::int32_t value);
std::int32_t thresholdToDevice(const Connection& c, std::int32_t value);
std::int32_t thresholdFromDevice(const Connection& c, std::int32_t value);

// The option name behind a numbered index, or null when the index has none.
const char* numberedOptionName(std::int32_t index);

// Asks the device for its PIN width (CMD_PINWIDTH_RRQ, up to ten times).
// `width` is 5 unless the device answered; on an answer pinWidth takes it.
// 1, or -2 when the last failure was neither CMD_ACK_ERROR nor CMD_ACK_UNKNOWN.
int readPinWidth(Connection& c, std::int32_t& width);
}  // namespace vxsdk
