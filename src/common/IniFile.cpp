#include "common/IniFile.h"

#include "common/FileUtil.h"

#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace vantrel {

namespace {
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
} // namespace

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string Trim(std::string_view text) {
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return std::string(text.substr(begin, end - begin));
}

std::string Unquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return std::string(value.substr(1, value.size() - 2));
    return std::string(value);
}

IniFile IniFile::FromText(std::string_view text) {
    IniFile ini;
    std::string section;
    bool inSection = false;
    // A UTF-8 byte order mark is no part of the first line: a file saved by an editor that
    // puts one there keeps its first section.
    size_t pos = text.substr(0, 3) == kUtf8Bom ? 3 : 0;
    while (pos < text.size()) {
        // CR LF, LF and a lone CR (an old Mac editor's line end) all end a line.
        size_t eol = text.find_first_of("\r\n", pos);
        std::string_view raw =
            text.substr(pos, eol == std::string_view::npos ? std::string_view::npos : eol - pos);
        if (eol == std::string_view::npos)
            pos = text.size();
        else
            pos =
                eol + (text[eol] == '\r' && eol + 1 < text.size() && text[eol + 1] == '\n' ? 2 : 1);
        Line line;
        line.raw = std::string(raw);
        std::string trimmed = Trim(raw);
        if (!trimmed.empty() && trimmed.front() == '[') {
            size_t close = trimmed.find(']');
            if (close != std::string::npos) {
                section = Trim(std::string_view(trimmed).substr(1, close - 1));
                inSection = true;
                line.header = true;
                line.section = section;
            }
        } else if (inSection && !trimmed.empty() && trimmed.front() != ';') {
            size_t eq = trimmed.find('=');
            if (eq != std::string::npos && eq > 0) {
                line.section = section;
                line.key = Trim(std::string_view(trimmed).substr(0, eq));
                line.value = Unquoted(Trim(std::string_view(trimmed).substr(eq + 1)));
            }
        }
        ini.lines_.push_back(std::move(line));
    }
    return ini;
}

bool IniFile::Load(const std::string& path, std::string* error) {
    lines_.clear();
    std::string text;
    std::string why;
    if (!ReadFileText(path, text, &why)) {
        if (::access(path.c_str(), F_OK) != 0)
            return true; // no file yet: nothing to read
        if (error)
            *error = why;
        return false;
    }
    *this = FromText(text);
    return true;
}

bool IniFile::Save(const std::string& path, std::string* error) const {
    return WriteFileAtomically(path, Text(), error);
}

bool IniFile::SaveOwnKeys(const std::string& path, std::string* error, const MergeChange& merge) {
    const std::string lockPath = path + ".lock";
    const int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lock < 0 || ::flock(lock, LOCK_EX) != 0) {
        if (error)
            *error = "cannot lock " + lockPath + ": " + FileErrorText(errno);
        if (lock >= 0)
            ::close(lock);
        return false;
    }
    IniFile disk;
    bool ok = disk.Load(path, error);
    if (ok) {
        for (const Change& change : changes_) {
            if (merge && merge(disk, change))
                continue;
            if (change.value)
                disk.WriteString(change.section, change.key, *change.value);
            else
                disk.DeleteKey(change.section, change.key);
        }
        disk.changes_.clear();
        ok = disk.Save(path, error);
    }
    ::close(lock); // also lets go of the lock
    if (ok)
        *this = std::move(disk);
    return ok;
}

int IniFile::Find(std::string_view section, std::string_view key) const {
    for (size_t i = 0; i < lines_.size(); ++i)
        if (!lines_[i].key.empty() && SameName(lines_[i].section, section) &&
            SameName(lines_[i].key, key))
            return static_cast<int>(i);
    return -1;
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
    int i = Find(Trim(section), Trim(key));
    if (i < 0)
        return std::nullopt;
    return lines_[static_cast<size_t>(i)].value;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
    auto value = Get(section, key);
    return value ? *value : std::string(fallback);
}

void IniFile::WriteString(std::string_view sectionName, std::string_view keyName,
                          std::string_view value) {
    const std::string section = Trim(sectionName);
    const std::string key = Trim(keyName);
    changes_.push_back({section, key, Trim(value)});
    Line line;
    line.section = section;
    line.key = key;
    line.value = Trim(value);
    line.raw = key + "=" + line.value;
    int existing = Find(section, key);
    if (existing >= 0) {
        line.key = lines_[static_cast<size_t>(existing)].key;
        line.raw = line.key + "=" + line.value;
        lines_[static_cast<size_t>(existing)] = std::move(line);
        return;
    }
    // After the last key of the section, or a new section at the end.
    int header = -1, last = -1;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].header && SameName(lines_[i].section, section)) {
            if (header < 0)
                header = last = static_cast<int>(i);
        } else if (header >= 0 && !lines_[i].key.empty() && SameName(lines_[i].section, section))
            last = static_cast<int>(i);
    }
    if (header < 0) {
        Line head;
        head.header = true;
        head.section = section;
        head.raw = "[" + section + "]";
        lines_.push_back(std::move(head));
        lines_.push_back(std::move(line));
        return;
    }
    lines_.insert(lines_.begin() + last + 1, std::move(line));
}

void IniFile::DeleteKey(std::string_view section, std::string_view key) {
    changes_.push_back({Trim(section), Trim(key), std::nullopt});
    int i = Find(Trim(section), Trim(key));
    if (i >= 0)
        lines_.erase(lines_.begin() + i);
}

std::vector<std::string> IniFile::Sections() const {
    std::vector<std::string> names;
    for (const Line& line : lines_) {
        if (!line.header)
            continue;
        bool seen = false;
        for (const auto& name : names)
            seen = seen || SameName(name, line.section);
        if (!seen)
            names.push_back(line.section);
    }
    return names;
}

std::vector<std::string> IniFile::Keys(std::string_view section) const {
    std::vector<std::string> keys;
    for (const Line& line : lines_)
        if (!line.key.empty() && SameName(line.section, Trim(section)))
            keys.push_back(line.key);
    return keys;
}

std::string IniFile::Text() const {
    std::string text;
    for (const Line& line : lines_) {
        text += line.raw;
        text += "\r\n";
    }
    return text;
}

} // namespace vantrel
