#pragma once

#include "common/IniFile.h"
#include "host/PortList.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::modbus {

// The serial ports of this machine under COM numbers. A number is given once and kept in the
// settings file, section [Ports] (COMn=path), the lowest free one for a device seen for the
// first time, so a converter keeps its number across replugs. A line added by hand makes any
// tty usable, a pseudo-terminal included.
class SystemPortList final : public host::PortList {
public:
    // settings: the settings file's contents (its [Ports] section is read and extended);
    // save: called after a new number was given. devRoot and sysRoot let tests fake a system.
    SystemPortList(IniFile& settings, std::function<void()> save, std::string devRoot = "/dev",
                   std::string sysRoot = "/sys");

    std::vector<host::PortEntry> Ports(bool includeAbsent) override;
    std::string PathOf(int number) override;

    // Gives path a number for this run without writing it to the settings file (a device
    // path given on the command line), or returns the number it already has.
    int NumberForPath(const std::string& path);

private:
    struct Candidate {
        std::string path;
        std::string description;
    };
    std::vector<Candidate> Scan() const;
    std::string DescribeTty(const std::string& ttyName) const;

    IniFile& settings_;
    std::function<void()> save_;
    std::string devRoot_;
    std::string sysRoot_;
    std::vector<std::pair<int, std::string>> transient_;
};

// Colour of a port-list change message.
enum class PortChangeColour { NewPort, Removed };
struct PortChange {
    std::string message;
    PortChangeColour colour;
};

// The message for the last change between two lists of names ("COM3", ...): the port with
// the highest number that appeared (" New port found: COMn") or went (" Port removed: COMn").
std::optional<PortChange> ComparePortLists(const std::vector<std::string>& previous,
                                           const std::vector<std::string>& current);

// Merges one of this program's [Ports] lines into the settings file as it is now on disk
// (IniFile::SaveOwnKeys): a device the file numbers already keeps that number, a number the
// file gives another device meanwhile makes this one take the lowest free number.
bool MergePortChange(IniFile& disk, const IniFile::Change& change);

// "COM12" -> 12; 0 for anything that is not COM1 to COM255 (compared without case).
int PortNumberOfName(const std::string& name);

} // namespace vantrel::modbus
