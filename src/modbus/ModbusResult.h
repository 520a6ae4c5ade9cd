#pragma once

#include <string>

namespace vantrel::modbus {

// Outcome of the last transaction, as the status bar and the logs show it.
enum ModbusResult : int {
    None = -1,
    Success = 0,
    ProtocolUnknown = 1,
    NotAbleToSend = 2,
    ResponseTimedOut = 3,
    Aborted = 4,
    CorruptedStructure = 5,
    WrongAddressResponse = 6,
    WritingNotPossible = 7,
    ReadingNotPossible = 8,
    WrongFunctionResponse = 9,
    WrongVariableResponse = 10,
    WrongNumberOfBytesResponse = 11,
    WrongResponseLength = 12,
    // A request the frame format cannot carry (byte count 0 or 255, an ASCII write of more
    // than 118 bytes); refused before anything is sent.
    InvalidRequest = 13,
};

// "Last Result: ..." for a result code; the exception code is shown for 7 and 8.
std::string ResultText(int result, int exceptionCode);

} // namespace vantrel::modbus
