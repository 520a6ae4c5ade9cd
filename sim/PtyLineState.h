#pragma once

// The line settings a program put on a terminal, read through the kernel's termios2 so that
// speeds without a B-constant (14400) come back as the number. Kept apart from <termios.h>
// users: <asm/termbits.h> defines the same names.

#include <string>

namespace vantrel::sim {

struct PtyLineState {
    unsigned baud = 0; // output speed
    int dataBits = 8;  // 5..8
    int parity = 0;    // 0 none, 1 even, 2 odd (mark/space count as the parity bit they add)
    int stopBits = 1;
};

bool ReadPtyLineState(int fd, PtyLineState& out, std::string* error = nullptr);

// Puts fd (a terminal) in raw mode with the given speed and character format.
bool SetPtyLineState(int fd, const PtyLineState& state, std::string* error = nullptr);

} // namespace vantrel::sim
