#pragma once

// A log readout as time series: the records' date and time against each numeric column of
// the list's header, for the log data window's chart. The lines are those of the readout
// (or of a file saved from it): the list header "## read;DATE;TIME;FLOWRATE;TOTAL" and the
// record lines "0000001;2026-12-10;11:00:00;0000123.4;00045678"; every other line (the
// readout's title, rules and summary) is no record. Nothing here draws.

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::device {

// Why a readout gives no chart, shown in its place.
extern const char* const kNoListHeaderText;
extern const char* const kNoTimeColumnsText;
extern const char* const kNoNumericColumnsText;
extern const char* const kNoRecordsText;

struct LogPoint {
    int64_t ms; // the record's date and time as milliseconds since 1970, read as UTC
    double value;
};

struct LogSeries {
    std::string name;             // the header's column name
    std::vector<LogPoint> points; // in time order
    double minValue = 0;
    double maxValue = 0;
};

struct LogChart {
    std::vector<LogSeries> series;
    int records = 0;        // record lines seen ("NO RECORD FOUND" is none)
    int leftOut = 0;        // records with a malformed date, time or number: not in the series
    bool reordered = false; // the records were not in time order; the series are
    std::string whyNoChart; // empty when there is something to draw
    int64_t firstMs = 0, lastMs = 0;
};

// "2026-12-10" (also "10.12.2026" and "10/12/2026") and "11:00:00" (or "11:00") as
// milliseconds since 1970; false for anything else, a 31 February too.
bool ParseLogDateTime(const std::string& date, const std::string& time, int64_t& ms);
// A decimal number, the whole text of it: "0000123.4", "-1,5", " 42 "; false otherwise.
bool ParseLogNumber(const std::string& text, double& value);

// Takes a readout's lines as they come (a readout adds them one by one) and gives the chart
// of all seen so far. A column counts as numeric when most of the well-dated records hold a
// number in it; a record whose value in a numeric column is no number is left out.
class LogSeriesBuilder {
public:
    void Clear();
    void AddLine(const std::string& line);
    // The lines from index `from` on.
    void AddLines(const std::vector<std::string>& lines, size_t from = 0);
    LogChart Chart() const;
    bool HasHeader() const { return !columns_.empty(); }

private:
    struct Record {
        int64_t ms = 0;
        bool dated = false;
        std::vector<double> values; // NaN where the field is no number
        size_t fields = 0;
    };
    std::vector<std::string> columns_; // after the record number
    int dateColumn_ = -1, timeColumn_ = -1;
    std::vector<Record> records_;
};

// What a plot of width `buckets` can show of the points between fromMs and toMs: for each
// bucket its first, lowest, highest and last point, so that spikes and gaps survive; the
// points just outside the range are kept so that lines run to the edges. Fewer points than
// four a bucket come back as they are.
std::vector<LogPoint> Decimate(const std::vector<LogPoint>& points, int64_t fromMs, int64_t toMs,
                               int buckets);

// A saved readout read back into lines (CR LF or LF ended); false with the reason when the
// file cannot be read or is too large to be a log.
bool ReadLogFileLines(const std::string& path, std::vector<std::string>& lines, std::string* error);

} // namespace vantrel::device
