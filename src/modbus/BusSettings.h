#pragma once

#include "common/IniFile.h"
#include "modbus/ModbusCodec.h"

namespace vantrel::modbus {

// The bus settings the settings file keeps in section "Modbus".
struct BusSettings {
    int port = 0; // 0: none selected
    int framing = kFramingRtu;
    int speed = 3;
    int dataBits = 0;
    int parity = 0;
    int stopBits = 0;
    int retries = 3;
    int timeOut = 500;
    int rtuTimeOut = 20;
};

constexpr const char* kModbusSection = "Modbus";
constexpr const char* kSpeedNames[] = {"1200",  "2400",  "4800",  "9600", "14400",
                                       "19200", "38400", "57600", "115200"};
constexpr const char* kDataBitsNames[] = {"8 bits", "7 bits"};
constexpr const char* kParityNames[] = {"None", "Even", "Odd"};
constexpr const char* kStopBitsNames[] = {"1 bit", "2 bits"};

// Reads the keys present over the current values: a missing key keeps the current value,
// a speed, data bits, parity or stop bits text that matches nothing (without regard to case)
// gives the first choice (9600 for the speed), a port that is not "COMn" gives 0, numbers
// outside their ranges (tries 1-10, time-out 1-9999, RTU time-out 0-9999) are ignored.
void ReadBusSettings(const IniFile& ini, BusSettings& settings);

// Writes all nine keys as text; no port selected is written as "COM1".
void WriteBusSettings(IniFile& ini, const BusSettings& settings);

} // namespace vantrel::modbus
