// Settings and configuration files come from disk and are untrusted: any bytes must parse,
// read and write back without a fault.

#include "common/IniFile.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    vantrel::IniFile ini = vantrel::IniFile::FromText(text);
    for (const std::string& section : ini.Sections())
        for (const std::string& key : ini.Keys(section))
            ini.ReadString(section, key, "");
    ini.WriteString("Modbus", "Port", "COM1");
    auto part = [&text](size_t from) { return from < text.size() ? text.substr(from, 8) : ""; };
    ini.WriteString(part(0), part(8), part(16));
    vantrel::IniFile again = vantrel::IniFile::FromText(ini.Text());
    (void)again.Get("Modbus", "Port");
    return 0;
}
