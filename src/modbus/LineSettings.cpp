#include "modbus/LineSettings.h"

#include "modbus/ModbusCodec.h"

#include <cstdio>
#include <cstdlib>

namespace vantrel::modbus {

namespace {

int Clamp(int index, int count) { return index >= 0 && index < count ? index : 0; }

// Rows: bits per character as the table counts them (9 for 7N1 ... 12 for 8E2), columns:
// the speed index.
constexpr int kPostSendDelay[4][9] = {
    {9, 5, 3, 2, 2, 2, 2, 2, 2},
    {10, 5, 3, 2, 2, 2, 2, 2, 2},
    {11, 6, 3, 2, 2, 2, 2, 2, 2},
    {11, 6, 4, 2, 2, 2, 2, 2, 2},
};
constexpr int kCharacterGap[4][9] = {
    {29, 15, 8, 4, 3, 3, 2, 2, 2},
    {32, 16, 9, 5, 4, 3, 2, 2, 2},
    {35, 18, 9, 5, 4, 3, 2, 2, 2},
    {37, 19, 10, 6, 4, 3, 2, 2, 2},
};

} // namespace

std::string BuildModeString(const LineSettings& line) {
    return std::to_string(kSpeeds[Clamp(line.speed, kSpeedCount)]) + "," +
           kParityTexts[Clamp(line.parity, 3)] + "," + kDataBitsTexts[Clamp(line.dataBits, 2)] +
           "," + kStopBitsTexts[Clamp(line.stopBits, 2)];
}

bool ParseModeString(const std::string& mode, LineMode& out) {
    int baud = 0, dataBits = 0, stopBits = 0;
    char parity = 0;
    char tail = 0;
    if (std::sscanf(mode.c_str(), "%d,%c,%d,%d%c", &baud, &parity, &dataBits, &stopBits, &tail) !=
        4)
        return false;
    if (baud <= 0 || (dataBits != 7 && dataBits != 8) || (stopBits != 1 && stopBits != 2))
        return false;
    if (parity != 'N' && parity != 'E' && parity != 'O')
        return false;
    out = {baud, parity, dataBits, stopBits};
    return true;
}

int SpeedIndexOfBaud(int baud) {
    for (int i = 1; i < kSpeedCount; ++i)
        if (baud < kSpeeds[i])
            return i - 1;
    return kSpeedCount - 1;
}

int BitsPerCharacter(const LineMode& mode) {
    return 1 + mode.dataBits + (mode.parity == 'N' ? 0 : 1) + mode.stopBits;
}

CharacterTiming LookupCharacterTiming(const LineMode& mode) {
    const int row = (mode.dataBits == 7 ? 0 : 1) + (mode.parity == 'N' ? 0 : 1) +
                    (mode.stopBits == 2 ? 1 : 0);
    const int column = SpeedIndexOfBaud(mode.baud);
    return {kPostSendDelay[row][column], kCharacterGap[row][column]};
}

int InterCharacterTimeout(int rtuTimeOutSetting, int framing, const CharacterTiming& timing,
                          bool manualRts) {
    if (rtuTimeOutSetting != 0)
        return rtuTimeOutSetting;
    if (framing == kFramingRtu)
        return manualRts && timing.characterGap < 16 ? 16 : timing.characterGap;
    return 50;
}

long long LineTimeMicros(const LineMode& mode, size_t characters) {
    return static_cast<long long>(characters) * BitsPerCharacter(mode) * 1000000LL / mode.baud;
}

} // namespace vantrel::modbus
