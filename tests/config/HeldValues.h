#pragma once

// Units holding values that the editing rules would correct if the user had typed them: 0
// where a count or a K-factor must be at least 1, a K-factor below its decimals' minimum, a
// communication delay below 15, an analog filter of 0. A read must show, and a saved file
// keep, exactly what the unit holds.

#include "sim/SimUnit.h"

#include <cstdint>
#include <vector>

namespace vantrel::test {

struct HeldValue {
    const char* control;
    uint16_t reg;
    int bytes;
    uint64_t value;
    const char* shown;   // the control's text after Read device
    const char* section; // where a saved configuration file keeps it
    const char* key;
};

struct HeldUnit {
    sim::Model model;
    bool logger;
    const char* name; // as the tool identifies it
    char variant;
    std::vector<HeldValue> values;
    // Set on the unit besides the values checked (a conversion mode, decimals).
    std::vector<HeldValue> setting;
};

inline std::vector<HeldUnit> HeldUnits() {
    return {
        {sim::Model::Q4200,
         true,
         "Q4200",
         'P',
         {
             {"FlowrateCutoffEdit", 56, 2, 0, "0", "FLOWRATE", "CUTOFF"},
             {"FlowratePulsesEdit", 55, 1, 0, "0", "FLOWRATE", "PULSES"},
             {"PulseAmountEdit", 130, 3, 0, "0", "PULSE", "AMOUNT"},
             {"PulseWidthEdit", 128, 1, 0, "0", "PULSE", "WIDTH"},
             {"TotalKFactorEdit", 34, 3, 50, "50", "TOTAL", "KFACTOR"}, // at 6 decimals
             {"FlowrateKFactorEdit", 51, 3, 0, "0", "FLOWRATE", "KFACTOR"},
             {"FlowmeterKFactorEdit", 1046, 3, 0, "0", "FLOWMETER", "KFACTOR"},
             {"CommDelayEdit", 14, 2, 5, "5", "COMMUNICATION", "COMMDELAY"},
             {"AnalogFilterEdit", 127, 1, 0, "0", "ANALOG", "FILTER"},
         },
         {
             {"FlowmeterConversionGroup", 1051, 1, 0, "", "", ""}, // "Hand"
             {"TotalKFactorDecimalsGroup", 37, 1, 6, "", "", ""},
             {"FlowrateKFactorDecimalsGroup", 54, 1, 0, "", "", ""},
         }},
        {sim::Model::R210A,
         false,
         "R210-A",
         'A',
         {
             {"FlowmeterAFilterEdit", 99, 1, 0, "0", "FLOWMETERA", "FILTER"},
             {"TotalASpanEdit", 34, 3, 0, "0", "TOTALA", "SPAN"},
             {"FlowrateASpanEdit", 51, 3, 0, "0", "FLOWRATEA", "SPAN"},
             {"PulseAmountEdit", 130, 3, 0, "0", "PULSE", "AMOUNT"},
             {"PulseWidthEdit", 128, 1, 0, "0", "PULSE", "WIDTH"},
         },
         {
             {"TotalASpanDecimalsGroup", 37, 1, 2, "", "", ""},
         }},
    };
}

// The unit made to hold them.
inline bool Hold(sim::SimUnit& unit, const HeldUnit& held) {
    for (const auto* list : {&held.setting, &held.values})
        for (const HeldValue& v : *list)
            if (!unit.SetValue(v.reg, v.bytes, v.value))
                return false;
    return true;
}

} // namespace vantrel::test
