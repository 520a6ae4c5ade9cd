#include "device/LogSeries.h"

#include "common/FileUtil.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string_view>

namespace vantrel::device {

const char* const kNoListHeaderText = "No chart: the text holds no list header.";
const char* const kNoTimeColumnsText = "No chart: the list has no date and time columns.";
const char* const kNoNumericColumnsText =
    "No chart: the list has no numeric columns, only text (see the readout).";
const char* const kNoRecordsText = "No chart yet: no record with a date, time and number.";

namespace {

constexpr const char* kHeaderPrefix = "## read;";
constexpr size_t kRecordNumberDigits = 7;
// A readout of 65535 records is a few megabytes; a file far beyond that is no log.
constexpr size_t kLargestLogFile = 256u << 20;

// Views into the line: a long list is parsed without a copy of every field.
std::string_view Trimmed(std::string_view text) {
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return text.substr(begin, end - begin);
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        fields.push_back(text.substr(start, at == std::string_view::npos ? at : at - start));
        if (at == std::string_view::npos)
            return fields;
        start = at + 1;
    }
}

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Digits only, count of them fixed or within min..max.
bool Digits(std::string_view text, size_t minCount, size_t maxCount, int& value) {
    if (text.size() < minCount || text.size() > maxCount)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int DaysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : days[m - 1];
}

bool ParseDate(std::string_view text, int& y, int& m, int& d) {
    std::vector<std::string_view> parts = Split(text, '-');
    if (parts.size() == 3) {
        if (!Digits(parts[0], 4, 4, y) || !Digits(parts[1], 1, 2, m) || !Digits(parts[2], 1, 2, d))
            return false;
    } else {
        parts = Split(text, text.find('.') != std::string_view::npos ? '.' : '/');
        if (parts.size() != 3 || !Digits(parts[0], 1, 2, d) || !Digits(parts[1], 1, 2, m) ||
            !Digits(parts[2], 4, 4, y))
            return false;
    }
    return m >= 1 && m <= 12 && d >= 1 && d <= DaysInMonth(y, m);
}

bool ParseTime(std::string_view text, int& seconds) {
    const std::vector<std::string_view> parts = Split(text, ':');
    int h = 0, min = 0, s = 0;
    if (parts.size() < 2 || parts.size() > 3 || !Digits(parts[0], 1, 2, h) ||
        !Digits(parts[1], 2, 2, min) || (parts.size() == 3 && !Digits(parts[2], 2, 2, s)))
        return false;
    if (h > 23 || min > 59 || s > 59)
        return false;
    seconds = h * 3600 + min * 60 + s;
    return true;
}

bool IsRecordLine(std::string_view line) {
    if (line.size() <= kRecordNumberDigits || line[kRecordNumberDigits] != ';')
        return false;
    return std::all_of(line.begin(), line.begin() + kRecordNumberDigits,
                       [](char c) { return c >= '0' && c <= '9'; });
}

bool DateTimeOf(std::string_view date, std::string_view time, int64_t& ms) {
    int y = 0, m = 0, d = 0, seconds = 0;
    if (!ParseDate(Trimmed(date), y, m, d) || !ParseTime(Trimmed(time), seconds))
        return false;
    ms = (DaysFromCivil(y, m, d) * 86400 + seconds) * 1000;
    return true;
}

bool NumberOf(std::string_view raw, double& value) {
    std::string text(Trimmed(raw));
    if (text.empty() || text.size() > 40)
        return false;
    // The unit writes a point; a file that went through a spreadsheet may have a comma.
    if (std::count(text.begin(), text.end(), ',') == 1 && text.find('.') == std::string::npos)
        std::replace(text.begin(), text.end(), ',', '.');
    size_t digits = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9')
            ++digits;
        else if (!((c == '-' || c == '+') && i == 0) && c != '.')
            return false; // no exponents, hex, "inf" or "nan": a unit never writes them
    }
    if (digits == 0 || std::count(text.begin(), text.end(), '.') > 1)
        return false;
    value = std::strtod(text.c_str(), nullptr);
    return std::isfinite(value);
}

} // namespace

bool ParseLogDateTime(const std::string& date, const std::string& time, int64_t& ms) {
    return DateTimeOf(date, time, ms);
}

bool ParseLogNumber(const std::string& text, double& value) {
    return NumberOf(text, value);
}

void LogSeriesBuilder::Clear() {
    columns_.clear();
    dateColumn_ = timeColumn_ = -1;
    records_.clear();
}

void LogSeriesBuilder::AddLine(const std::string& rawLine) {
    std::string_view line = rawLine;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    if (line.rfind(kHeaderPrefix, 0) == 0) {
        // A new header is a new readout.
        Clear();
        for (std::string_view column :
             Split(line.substr(std::char_traits<char>::length(kHeaderPrefix)), ';'))
            columns_.emplace_back(Trimmed(column));
        for (size_t i = 0; i < columns_.size(); ++i) {
            const std::string name = Upper(columns_[i]);
            if (dateColumn_ < 0 && name.find("DATE") != std::string::npos)
                dateColumn_ = static_cast<int>(i);
            else if (timeColumn_ < 0 && name.find("TIME") != std::string::npos)
                timeColumn_ = static_cast<int>(i);
        }
        return;
    }
    if (columns_.empty() || !IsRecordLine(line))
        return;
    const std::string_view text = line.substr(kRecordNumberDigits + 1);
    if (text == "NO RECORD FOUND")
        return;
    const std::vector<std::string_view> fields = Split(text, ';');
    Record record;
    record.fields = fields.size();
    if (dateColumn_ >= 0 && timeColumn_ >= 0 &&
        static_cast<size_t>(std::max(dateColumn_, timeColumn_)) < fields.size())
        record.dated = DateTimeOf(fields[static_cast<size_t>(dateColumn_)],
                                  fields[static_cast<size_t>(timeColumn_)], record.ms);
    record.values.assign(columns_.size(), std::numeric_limits<double>::quiet_NaN());
    for (size_t i = 0; i < columns_.size() && i < fields.size(); ++i) {
        double value = 0;
        if (static_cast<int>(i) != dateColumn_ && static_cast<int>(i) != timeColumn_ &&
            NumberOf(fields[i], value))
            record.values[i] = value;
    }
    records_.push_back(std::move(record));
}

void LogSeriesBuilder::AddLines(const std::vector<std::string>& lines, size_t from) {
    for (size_t i = from; i < lines.size(); ++i)
        AddLine(lines[i]);
}

LogChart LogSeriesBuilder::Chart() const {
    LogChart chart;
    chart.records = static_cast<int>(records_.size());
    if (columns_.empty()) {
        chart.whyNoChart = kNoListHeaderText;
        return chart;
    }
    if (dateColumn_ < 0 || timeColumn_ < 0) {
        chart.whyNoChart = kNoTimeColumnsText;
        return chart;
    }
    // A column is numeric when more than half of the dated records hold a number in it, so
    // that one bad value does not turn a flow rate into text, nor one digit an event into a
    // number.
    std::vector<size_t> numeric;
    size_t dated = 0;
    for (const Record& r : records_)
        dated += r.dated;
    for (size_t i = 0; i < columns_.size(); ++i) {
        if (static_cast<int>(i) == dateColumn_ || static_cast<int>(i) == timeColumn_)
            continue;
        size_t numbers = 0;
        for (const Record& r : records_)
            numbers += r.dated && !std::isnan(r.values[i]);
        if (dated > 0 && 2 * numbers > dated)
            numeric.push_back(i);
    }
    if (records_.empty()) {
        chart.whyNoChart = kNoRecordsText; // a header alone says nothing of its columns yet
        return chart;
    }
    if (dated == 0) {
        chart.leftOut = chart.records;
        chart.whyNoChart = kNoRecordsText;
        return chart;
    }
    if (numeric.empty()) {
        chart.whyNoChart = kNoNumericColumnsText;
        return chart;
    }

    std::vector<const Record*> good;
    good.reserve(records_.size());
    for (const Record& r : records_) {
        const bool ok = r.dated && r.fields == columns_.size() &&
                        std::none_of(numeric.begin(), numeric.end(),
                                     [&](size_t i) { return std::isnan(r.values[i]); });
        if (ok)
            good.push_back(&r);
        else
            ++chart.leftOut;
    }
    chart.reordered = !std::is_sorted(
        good.begin(), good.end(), [](const Record* a, const Record* b) { return a->ms < b->ms; });
    if (chart.reordered)
        std::stable_sort(good.begin(), good.end(),
                         [](const Record* a, const Record* b) { return a->ms < b->ms; });
    if (good.empty()) {
        chart.whyNoChart = kNoRecordsText;
        return chart;
    }
    chart.firstMs = good.front()->ms;
    chart.lastMs = good.back()->ms;
    for (size_t i : numeric) {
        LogSeries series;
        series.name = columns_[i];
        series.points.reserve(good.size());
        series.minValue = series.maxValue = good.front()->values[i];
        for (const Record* r : good) {
            const double v = r->values[i];
            series.points.push_back({r->ms, v});
            series.minValue = std::min(series.minValue, v);
            series.maxValue = std::max(series.maxValue, v);
        }
        chart.series.push_back(std::move(series));
    }
    return chart;
}

std::vector<LogPoint> Decimate(const std::vector<LogPoint>& points, int64_t fromMs, int64_t toMs,
                               int buckets) {
    const auto before = [](const LogPoint& p, int64_t ms) { return p.ms < ms; };
    auto first = std::lower_bound(points.begin(), points.end(), fromMs, before);
    auto last = std::upper_bound(points.begin(), points.end(), toMs,
                                 [](int64_t ms, const LogPoint& p) { return ms < p.ms; });
    if (first != points.begin())
        --first;
    if (last != points.end())
        ++last;
    const size_t count = static_cast<size_t>(last - first);
    if (buckets < 1 || toMs <= fromMs || count <= 4 * static_cast<size_t>(buckets))
        return {first, last};

    std::vector<LogPoint> out;
    out.reserve(4 * static_cast<size_t>(buckets) + 2);
    const double width = static_cast<double>(toMs - fromMs) / buckets;
    auto it = first;
    while (it != last) {
        // The bucket of this point, and every point in it.
        const double offset = static_cast<double>(it->ms - fromMs) / width;
        const int64_t bucket = static_cast<int64_t>(std::floor(offset));
        auto end = it;
        auto low = it, high = it;
        while (end != last && static_cast<int64_t>(std::floor(
                                  static_cast<double>(end->ms - fromMs) / width)) == bucket) {
            if (end->value < low->value)
                low = end;
            if (end->value > high->value)
                high = end;
            ++end;
        }
        auto lastInBucket = end - 1;
        std::vector<decltype(it)> keep{it, low, high, lastInBucket};
        std::sort(keep.begin(), keep.end());
        keep.erase(std::unique(keep.begin(), keep.end()), keep.end());
        for (auto k : keep)
            out.push_back(*k);
        it = end;
    }
    return out;
}

bool ReadLogFileLines(const std::string& path, std::vector<std::string>& lines,
                      std::string* error) {
    std::string text;
    if (!ReadFileText(path, text, error))
        return false;
    if (text.size() > kLargestLogFile) {
        if (error)
            *error = path + ": too large for a log file";
        return false;
    }
    lines.clear();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return true;
}

} // namespace vantrel::device
