#pragma once

#include <string>

namespace vantrel::modbus {

// Line settings as the port setup holds them: indices into these lists.
constexpr int kSpeeds[] = {1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200};
constexpr int kSpeedCount = 9;
constexpr const char* kDataBitsTexts[] = {"8", "7"};
constexpr const char* kParityTexts[] = {"N", "E", "O"};
constexpr const char* kStopBitsTexts[] = {"1", "2"};

struct LineSettings {
    int speed = 3; // 9600
    int dataBits = 0;
    int parity = 0;
    int stopBits = 0;
};

// "9600,N,8,1": speed, parity, data bits, stop bits.
std::string BuildModeString(const LineSettings& line);

// What a mode string says, in plain terms.
struct LineMode {
    int baud = 9600;
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 1;
};
bool ParseModeString(const std::string& mode, LineMode& out);

// Speed index of an actual baud rate (below 2400: 0, ..., 115200 and above: 8).
int SpeedIndexOfBaud(int baud);

// Start bit, data bits, parity bit, stop bits: 10 to 12 for the settings offered.
int BitsPerCharacter(const LineMode& mode);

// Character timing of the line, in milliseconds, looked up by bits per character and speed
// index. The gap is the default inter-character time-out in RTU; the post-send delay is how
// long a request's last character takes to clear a converter that switches on RTS.
struct CharacterTiming {
    int postSendDelay = 2;
    int characterGap = 5;
};
CharacterTiming LookupCharacterTiming(const LineMode& mode);

// Inter-character time-out for a reception: the setting when it is not 0; else, in RTU, the
// character gap (at least 16 ms while the worker drives RTS itself), in ASCII 50 ms.
int InterCharacterTimeout(int rtuTimeOutSetting, int framing, const CharacterTiming& timing,
                          bool manualRts);

// Time the given number of characters take on the line, in microseconds.
long long LineTimeMicros(const LineMode& mode, size_t characters);

} // namespace vantrel::modbus
