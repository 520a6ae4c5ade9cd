#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// INI text as the tool's files use it: sections and key=value lines. Names compare without
// regard to case, blanks around names and values are ignored, lines before the first section
// are ignored. Writing a key keeps every other line as it was. Lines end with CR LF, LF or a
// lone CR; a UTF-8 byte order mark at the start is skipped; a quoted value is read without its
// quotes. A key given twice reads as its first line; a section given twice is one section
// (its keys are looked up in all of its parts, in file order).
class IniFile {
public:
    IniFile() = default;
    static IniFile FromText(std::string_view text);

    // A missing file loads as empty and succeeds; an unreadable one fails and stays empty.
    bool Load(const std::string& path, std::string* error = nullptr);
    // Replaces the file only once the new one is complete.
    bool Save(const std::string& path, std::string* error = nullptr) const;

    // A key this copy wrote or deleted since it was loaded or last saved by SaveOwnKeys.
    struct Change {
        std::string section;
        std::string key;
        std::optional<std::string> value; // nothing: deleted
    };
    const std::vector<Change>& Changes() const { return changes_; }
    // A change that cannot simply be written again over the file as it is now: `disk` holds
    // the file, the merge writes what it wants and returns true, or returns false to have the
    // change written as it is.
    using MergeChange = std::function<bool(IniFile& disk, const Change& change)>;
    // Saves as another program sharing the file expects: under a lock (beside the file, so
    // that it outlives the replacement), the file is read again, only this copy's own changes
    // are written into it, the result is saved and becomes this copy's contents.
    bool SaveOwnKeys(const std::string& path, std::string* error = nullptr,
                     const MergeChange& merge = {});

    std::optional<std::string> Get(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view fallback) const;
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void DeleteKey(std::string_view section, std::string_view key);

    std::vector<std::string> Sections() const;
    // Keys of a section in file order, as spelled in the file.
    std::vector<std::string> Keys(std::string_view section) const;

    std::string Text() const;

private:
    struct Line {
        std::string raw;
        std::string section; // the section a key line belongs to, or the header's name
        std::string key;     // empty for anything but key lines
        std::string value;
        bool header = false;
    };
    // Index of the key's line, or -1.
    int Find(std::string_view section, std::string_view key) const;

    std::vector<Line> lines_;
    std::vector<Change> changes_;
};

bool SameName(std::string_view a, std::string_view b);
std::string Trim(std::string_view text);
// A value in matching double (or single) quotes without them, as the platform's INI reading
// gives it; anything else as it is.
std::string Unquoted(std::string_view value);

} // namespace vantrel
