// Frames from the line are untrusted: every check and the value extraction must stay within
// the bytes that arrived, whatever they are.

#include "modbus/BusMonitor.h"
#include "modbus/ModbusCodec.h"

#include <cstring>
#include <vector>

using namespace vantrel::modbus;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    const int framing = data[0] & 1;
    const bool cv700 = data[0] & 2;
    const uint8_t byteCount = data[1] ? data[1] : 1;
    const uint8_t slave = data[2];
    // Exactly the bytes that arrived, so that the sanitizer sees any read past them.
    std::vector<uint8_t> frame(data + 3, data + size);
    // The monitor describes whatever came, before and apart from the checks below.
    TrafficRequest request;
    request.write = data[0] & 4;
    request.slave = slave;
    request.reg = 34;
    request.byteCount = byteCount;
    request.framing = framing;
    request.cv700 = cv700;
    RowLine(AnswerRow(request, frame.data(), frame.size()));
    RowLine(RequestRow(request, frame.data(), frame.size()));
    RowLine(DiscardedRow(request, frame.data(), frame.size(), false));
    size_t length = frame.size();
    if (ValidateResponseFrame(frame.data(), length, framing) != FrameValid) {
        // Checks run on frames the worker would have refused too; they must stay in bounds.
        length = frame.size();
    }
    std::vector<uint8_t> exact(frame.begin(), frame.begin() + static_cast<long>(length));
    CheckReadResponse(exact.data(), exact.size(), slave, byteCount, framing, cv700);
    CheckWriteResponse(exact.data(), exact.size(), slave, 34, 4, framing);
    std::vector<uint8_t> out(byteCount);
    if (exact.size() >= 3)
        ExtractReadValue(exact.data(), exact.size(), framing, byteCount, cv700, out.data());
    LogForm(exact.data(), exact.size(), framing);
    return 0;
}
