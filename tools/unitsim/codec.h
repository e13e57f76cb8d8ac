#pragma once
// Decoding of what the operator program sends to the unit: the 10-byte clock record and the
// 9-byte phone records; plus the byte escapes used in reports and on the command line.
#include <optional>
#include <string>
#include <string_view>

namespace unitsim {

struct ClockRecord {
    int second = 0, minute = 0, hour = 0, day = 0, month = 0, year = 0;  // year within the century
    bool valid = false;         // every BCD digit 0-9 and every field in its range
    std::string text;           // "hh:mm:ss dd.mm.yy"; a nibble above 9 shows as its hex digit
    char resolution = 0;        // offset 6
    char resolutionCheck = 0;   // offset 7, a copy of offset 6
    bool trailerValid = false;  // offsets 8 and 9 are 0x01
};

// Seconds, minutes, hours, day, month, year as packed BCD, then the resolution code twice and
// two 0x01 bytes. `record` must hold exactly 10 bytes.
ClockRecord decodeClockRecord(std::string_view record);

struct PhoneRecord {
    std::string number;
    bool valid = false;
    std::string problem;  // empty when valid
};

// 8 packed bytes (two characters a byte, high nibble first: 0-9 digits, 0xA '+', 0xC '*';
// an odd count ends with the low nibble 0xB, an even count (also none) with a byte 0xB0;
// 0x01 fills the rest) followed by 0x0D. `record` must hold exactly 9 bytes.
PhoneRecord unpackPhone(std::string_view record);

// Picture size for a resolution code '1', '2' or '3'.
struct Size {
    int width = 0, height = 0;
};
std::optional<Size> sizeForResolution(char code);

// "02 45 13": bytes as upper-case hex pairs.
std::string hexBytes(std::string_view bytes);

// A report value: raw bytes, except that control bytes, DEL and the backslash are written as
// \xNN, so that every value stays on one line.
std::string escapeValue(std::string_view bytes);

// Command-line texts: \r \n \t \0 \\ and \xNN; nothing when an escape is malformed.
std::optional<std::string> unescapeArgument(std::string_view text);

}  // namespace unitsim
