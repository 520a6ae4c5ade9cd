#pragma once

// Baud rates through the kernel's termios2 interface, so that rates without a B-constant
// (14400) work too. Kept apart because <asm/termbits.h> clashes with <termios.h>.

namespace vantrel::modbus {

// Sets input and output speed; the other line flags stay as they are.
bool SetLineSpeed(int fd, int baud);

// Output speed in force, or 0 when it cannot be read.
int GetLineSpeed(int fd);
// Input speed in force, or 0 when it cannot be read.
int GetLineInputSpeed(int fd);

} // namespace vantrel::modbus
