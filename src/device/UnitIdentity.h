#pragma once

// What a unit tells about itself when it is identified: the reads of "Connect device" and
// the rules that make a model name of them. The identification and the search of the line
// both use them, so that a unit the search lists is one "Connect device" would find.

#include "modbus/ModThread.h"

#include <cstdint>
#include <functional>
#include <string>

namespace vantrel::device {

// The identification's first read: the serial number. A unit's answer to it is the sign
// that something at this address and these line settings listens.
constexpr uint16_t kSerialNumberRegister = 165;
constexpr uint8_t kSerialNumberBytes = 3;

struct UnitIdentity {
    int32_t serial = -1;
    uint32_t code = 0; // model code, register 160
    char variant = 0;  // register 173
    int32_t version = 0;
    bool hasLog = false;
    std::string model; // "R210-P", "R212-A-HX", "Q4200", ...
};

enum class IdentityRead {
    Identified,
    NoUnit,       // a read of the identification failed
    ModelNotTold, // the logger question got no usable answer: the model is unknown
};

// "018" for code 18: three digits at least.
std::string ModelCodeText(uint32_t code);
// The model name the code, variant and logger give ("R2121-P-HX" is a Q4200).
std::string ModelName(uint32_t code, char variant, bool hasLog);

// The first read at the address; true when it was answered, with the serial number.
bool ReadSerialNumber(modbus::TModThread& worker, uint8_t address, int32_t& serial);
// The reads after the serial number (model code, variant, version, logger), each at the
// address asked anew; unit.serial is left as it is.
IdentityRead ReadIdentityAfterSerial(modbus::TModThread& worker,
                                     const std::function<uint8_t()>& address, UnitIdentity& unit);

} // namespace vantrel::device
