#include "modbus/BusSettings.h"

#include <charconv>
#include <iterator>
#include <string>

namespace vantrel::modbus {

namespace {

template <size_t N>
int LookUp(const std::string& text, const char* const (&names)[N], int unusable) {
    for (size_t i = 0; i < N; ++i)
        if (SameName(text, names[i]))
            return static_cast<int>(i);
    return unusable;
}

void ReadNumber(const IniFile& ini, const char* key, int low, int high, int& value) {
    auto text = ini.Get(kModbusSection, key);
    if (!text)
        return;
    int number = 0;
    auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), number);
    if (error != std::errc() || end != text->data() + text->size())
        return;
    if (number >= low && number <= high)
        value = number;
}

} // namespace

void ReadBusSettings(const IniFile& ini, BusSettings& s) {
    if (auto port = ini.Get(kModbusSection, "Port")) {
        // The number after the first three characters: "COM12" gives 12, "12" gives 0.
        s.port = 0;
        if (port->size() > 3) {
            int number = 0;
            const char* begin = port->data() + 3;
            const char* end = port->data() + port->size();
            auto [stop, error] = std::from_chars(begin, end, number);
            if (error == std::errc() && stop == end && number >= 1 && number <= 255)
                s.port = number;
        }
    }
    if (auto protocol = ini.Get(kModbusSection, "Protocol"))
        s.framing = SameName(*protocol, "RTU") ? kFramingRtu : kFramingAscii;
    if (auto speed = ini.Get(kModbusSection, "Speed"))
        s.speed = LookUp(*speed, kSpeedNames, 3);
    if (auto bits = ini.Get(kModbusSection, "Databits"))
        s.dataBits = LookUp(*bits, kDataBitsNames, 0);
    if (auto parity = ini.Get(kModbusSection, "Parity"))
        s.parity = LookUp(*parity, kParityNames, 0);
    if (auto stop = ini.Get(kModbusSection, "Stopbits"))
        s.stopBits = LookUp(*stop, kStopBitsNames, 0);
    ReadNumber(ini, "Retries", 1, 10, s.retries);
    ReadNumber(ini, "TimeOut", 1, 9999, s.timeOut);
    ReadNumber(ini, "RTUTimeOut", 0, 9999, s.rtuTimeOut);
}

void WriteBusSettings(IniFile& ini, const BusSettings& s) {
    auto pick = [](const auto& names, int index) {
        return index >= 0 && index < static_cast<int>(std::size(names)) ? names[index] : names[0];
    };
    ini.WriteString(kModbusSection, "Port", "COM" + std::to_string(s.port > 0 ? s.port : 1));
    ini.WriteString(kModbusSection, "Protocol", s.framing == kFramingRtu ? "RTU" : "ASCII");
    ini.WriteString(kModbusSection, "Speed", pick(kSpeedNames, s.speed));
    ini.WriteString(kModbusSection, "Databits", pick(kDataBitsNames, s.dataBits));
    ini.WriteString(kModbusSection, "Parity", pick(kParityNames, s.parity));
    ini.WriteString(kModbusSection, "Stopbits", pick(kStopBitsNames, s.stopBits));
    ini.WriteString(kModbusSection, "Retries", std::to_string(s.retries));
    ini.WriteString(kModbusSection, "TimeOut", std::to_string(s.timeOut));
    ini.WriteString(kModbusSection, "RTUTimeOut", std::to_string(s.rtuTimeOut));
}

} // namespace vantrel::modbus
