#include "modbus/ModbusResult.h"

namespace vantrel::modbus {

std::string ResultText(int result, int exceptionCode) {
    switch (result) {
    case None: return "Last Result: None";
    case Success: return "Last Result: Success";
    case ProtocolUnknown: return "Last Result: Protocol Unknown";
    case NotAbleToSend: return "Last Result: Not Able To Send";
    case ResponseTimedOut: return "Last Result: Response Timed Out";
    case Aborted: return "Last Result: Aborted";
    case CorruptedStructure: return "Last Result: Corrupted Structure";
    case WrongAddressResponse: return "Last Result: Wrong Address Response";
    case WritingNotPossible:
        return "Last Result: Writing not possible (ErrorCode: " + std::to_string(exceptionCode) +
               ")";
    case ReadingNotPossible:
        return "Last Result: Reading not possible (ErrorCode: " + std::to_string(exceptionCode) +
               ")";
    case WrongFunctionResponse: return "Last Result: Wrong Function Response";
    case WrongVariableResponse: return "Last Result: Wrong Variable Response";
    case WrongNumberOfBytesResponse: return "Last Result: Wrong Number Of Bytes Response";
    case WrongResponseLength: return "Last Result: Wrong Response Length";
    case InvalidRequest: return "Last Result: Invalid Request";
    default: return "Last Result: Unknown";
    }
}

} // namespace vantrel::modbus
