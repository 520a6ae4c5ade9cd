// Log readouts into time series: which lines are records, which columns are numbers, what is
// left out and counted, the order drawn, and the thinning for drawing.

#include "device/LogSeries.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace vantrel::device {
namespace {

constexpr int64_t kHour = 3600 * 1000;

int64_t At(const char* date, const char* time) {
    int64_t ms = -1;
    EXPECT_TRUE(ParseLogDateTime(date, time, ms)) << date << " " << time;
    return ms;
}

LogChart ChartOf(const std::vector<std::string>& lines) {
    LogSeriesBuilder builder;
    builder.AddLines(lines);
    return builder.Chart();
}

// A readout as the log data window holds it, around the given header and records.
std::vector<std::string> Readout(const std::string& header, std::vector<std::string> records) {
    std::vector<std::string> lines{"Readout of RUNTIME LIST for s/n 0012345 at 2026-12-10 16:00:00",
                                   "There are 3 records in this list.", std::string(71, '='),
                                   "## read;" + header};
    int n = 1;
    for (const std::string& r : records) {
        char number[16];
        std::snprintf(number, sizeof number, "%07d;", n++);
        lines.push_back(number + r);
    }
    char number[16];
    std::snprintf(number, sizeof number, "%07d;", n);
    lines.push_back(std::string(number) + "NO RECORD FOUND");
    lines.push_back(std::string(71, '='));
    lines.push_back("End of readout: RUNTIME LIST - 0012345 - 2026-12-10 16:00:05");
    lines.push_back("Total number of retries: 0");
    return lines;
}

TEST(LogSeries, DatesTimesAndNumbers) {
    struct Case {
        const char* date;
        const char* time;
        bool ok;
    } dates[] = {
        {"2026-12-10", "11:00:00", true},  {"10.12.2026", "11:00", true},
        {"10/12/2026", "23:59:59", true},  {"2024-02-29", "00:00:00", true},
        {"2026-02-29", "00:00:00", false}, {"2026-13-01", "00:00:00", false},
        {"2026-12-10", "24:00:00", false}, {"2026-12-10", "11:60:00", false},
        {"26-12-10", "11:00:00", false},   {"2026-12-1x", "11:00:00", false},
        {"", "11:00:00", false},           {"2026-12-10", "", false},
    };
    for (const Case& c : dates) {
        int64_t ms = 0;
        EXPECT_EQ(ParseLogDateTime(c.date, c.time, ms), c.ok) << c.date << " " << c.time;
    }
    EXPECT_EQ(At("2026-12-10", "12:00:00") - At("2026-12-10", "11:00:00"), kHour);
    EXPECT_EQ(At("1970-01-01", "00:00:01"), 1000);
    EXPECT_EQ(At("10.12.2026", "11:00"), At("2026-12-10", "11:00:00"));

    struct Number {
        const char* text;
        bool ok;
        double value;
    } numbers[] = {
        {"0000123.4", true, 123.4}, {"00045678", true, 45678}, {"-1,5", true, -1.5},
        {" 42 ", true, 42},         {"+7", true, 7},           {"", false, 0},
        {"12.3.4", false, 0},       {"1e5", false, 0},         {"nan", false, 0},
        {"0x10", false, 0},         {"12a", false, 0},         {"-", false, 0},
        {"1,234.5", false, 0},
    };
    for (const Number& n : numbers) {
        double value = 0;
        EXPECT_EQ(ParseLogNumber(n.text, value), n.ok) << n.text;
        if (n.ok) {
            EXPECT_DOUBLE_EQ(value, n.value) << n.text;
        }
    }
}

TEST(LogSeries, GoodReadoutGivesOneSeriesANumericColumn) {
    const LogChart chart =
        ChartOf(Readout("DATE;TIME;FLOWRATE;TOTAL", {"2026-12-10;11:00:00;0000123.4;00045678",
                                                     "2026-12-10;12:00:00;0000127.1;00045803",
                                                     "2026-12-10;13:00:00;0000130.8;00045928"}));
    ASSERT_TRUE(chart.whyNoChart.empty()) << chart.whyNoChart;
    EXPECT_EQ(chart.records, 3); // "NO RECORD FOUND" is none
    EXPECT_EQ(chart.leftOut, 0);
    EXPECT_FALSE(chart.reordered);
    ASSERT_EQ(chart.series.size(), 2u);
    EXPECT_EQ(chart.series[0].name, "FLOWRATE");
    EXPECT_EQ(chart.series[1].name, "TOTAL");
    ASSERT_EQ(chart.series[0].points.size(), 3u);
    EXPECT_EQ(chart.series[0].points[1].ms, At("2026-12-10", "12:00:00"));
    EXPECT_DOUBLE_EQ(chart.series[0].points[1].value, 127.1);
    EXPECT_DOUBLE_EQ(chart.series[1].minValue, 45678);
    EXPECT_DOUBLE_EQ(chart.series[1].maxValue, 45928);
    EXPECT_EQ(chart.firstMs, At("2026-12-10", "11:00:00"));
    EXPECT_EQ(chart.lastMs, At("2026-12-10", "13:00:00"));
}

TEST(LogSeries, BadRecordsAreLeftOutAndCounted) {
    struct Case {
        const char* what;
        std::vector<std::string> records;
        int leftOut;
        size_t points;
        const char* why; // empty: a chart
    } cases[] = {
        {"malformed date",
         {"2026-12-10;11:00:00;1.0;10", "2026-12-32;12:00:00;2.0;20", "2026-12-10;13:00:00;3.0;30"},
         1,
         2,
         ""},
        {"malformed time",
         {"2026-12-10;11:00:00;1.0;10", "2026-12-10;1200;2.0;20", "2026-12-10;13:00:00;3.0;30"},
         1,
         2,
         ""},
        {"malformed number",
         {"2026-12-10;11:00:00;1.0;10", "2026-12-10;12:00:00;2.O;20", "2026-12-10;13:00:00;3.0;30"},
         1,
         2,
         ""},
        {"a field missing",
         {"2026-12-10;11:00:00;1.0;10", "2026-12-10;12:00:00;2.0", "2026-12-10;13:00:00;3.0;30"},
         1,
         2,
         ""},
        {"a field too many",
         {"2026-12-10;11:00:00;1.0;10;9", "2026-12-10;12:00:00;2.0;20", "2026-12-10;13:00:00;3;30"},
         1,
         2,
         ""},
        {"an empty record (a failed read)",
         {"2026-12-10;11:00:00;1.0;10", "", "2026-12-10;13:00:00;3.0;30"},
         1,
         2,
         ""},
        {"every date malformed",
         {"10-12-2026;11:00:00;1.0;10", "x;12:00:00;2.0;20"},
         2,
         0,
         kNoRecordsText},
        {"no record at all", {}, 0, 0, kNoRecordsText},
    };
    for (const Case& c : cases) {
        const LogChart chart = ChartOf(Readout("DATE;TIME;FLOWRATE;TOTAL", c.records));
        EXPECT_EQ(chart.leftOut, c.leftOut) << c.what;
        EXPECT_EQ(chart.whyNoChart, c.why) << c.what;
        if (*c.why)
            continue;
        ASSERT_EQ(chart.series.size(), 2u) << c.what;
        EXPECT_EQ(chart.series[0].points.size(), c.points) << c.what;
        EXPECT_EQ(chart.series[1].points.size(), c.points) << c.what;
    }
}

TEST(LogSeries, TextColumnsAndListsWithoutNumbers) {
    // The event list: a text column only.
    LogChart chart = ChartOf(Readout(
        "DATE;TIME;EVENT", {"2026-12-10;11:00:00;POWER ON", "2026-12-10;11:05:00;CONFIG CHANGED"}));
    EXPECT_EQ(chart.whyNoChart, kNoNumericColumnsText);
    EXPECT_TRUE(chart.series.empty());
    EXPECT_EQ(chart.leftOut, 0);

    // An alarm code that happens to be a number once stays text; a flow rate with one bad
    // value stays a number, that record left out.
    chart = ChartOf(Readout("DATE;TIME;ALARM;FLOWRATE",
                            {"2026-12-10;11:00:00;FLOW HIGH;1.5", "2026-12-10;11:05:00;42;x",
                             "2026-12-10;11:10:00;SENSOR;2.5"}));
    ASSERT_EQ(chart.series.size(), 1u);
    EXPECT_EQ(chart.series[0].name, "FLOWRATE");
    EXPECT_EQ(chart.leftOut, 1);

    EXPECT_EQ(ChartOf(Readout("FLOWRATE;TOTAL", {"1.0;2.0"})).whyNoChart, kNoTimeColumnsText);
    EXPECT_EQ(ChartOf({"Readout of nothing", "0000001;2026-12-10;11:00:00;1.0"}).whyNoChart,
              kNoListHeaderText);
}

TEST(LogSeries, OutOfOrderRecordsAreDrawnInTimeOrder) {
    const LogChart chart = ChartOf(
        Readout("DATE;TIME;FLOWRATE", {"2026-12-10;13:00:00;3.0", "2026-12-10;11:00:00;1.0",
                                       "2026-12-11;00:30:00;4.0", "2026-12-10;12:00:00;2.0"}));
    ASSERT_EQ(chart.series.size(), 1u);
    EXPECT_TRUE(chart.reordered);
    std::vector<double> values;
    for (const LogPoint& p : chart.series[0].points)
        values.push_back(p.value);
    EXPECT_EQ(values, (std::vector<double>{1.0, 2.0, 3.0, 4.0}));
    EXPECT_EQ(chart.firstMs, At("2026-12-10", "11:00:00"));
    EXPECT_EQ(chart.lastMs, At("2026-12-11", "00:30:00"));
}

TEST(LogSeries, LinesArriveOneByOneAndANewHeaderStartsAfresh) {
    const std::vector<std::string> lines =
        Readout("DATE;TIME;FLOWRATE", {"2026-12-10;11:00:00;1.0", "2026-12-10;12:00:00;2.0"});
    LogSeriesBuilder builder;
    for (size_t i = 0; i < lines.size(); ++i) {
        builder.AddLine(lines[i] + "\r"); // as a file read with CR LF would give them
        if (i == 4) {
            EXPECT_EQ(builder.Chart().series.at(0).points.size(), 1u);
        }
    }
    EXPECT_EQ(builder.Chart().series.at(0).points.size(), 2u);
    builder.AddLines(Readout("DATE;TIME;TOTAL", {"2026-12-10;11:00:00;7"}));
    const LogChart chart = builder.Chart();
    ASSERT_EQ(chart.series.size(), 1u);
    EXPECT_EQ(chart.series[0].name, "TOTAL");
    EXPECT_EQ(chart.series[0].points.size(), 1u);
}

TEST(LogSeries, DecimationKeepsSpikesEdgesAndEveryPointWhenFew) {
    std::vector<LogPoint> points;
    for (int i = 0; i < 100000; ++i)
        points.push_back({int64_t{i} * 1000, i == 54321 ? 1e6 : (i == 77777 ? -1e6 : 1.0)});
    const int64_t from = 0, to = 99999 * 1000;
    const std::vector<LogPoint> drawn = Decimate(points, from, to, 800);
    EXPECT_LE(drawn.size(), 4u * 800 + 2);
    EXPECT_GE(drawn.size(), 800u);
    auto has = [&](double value) {
        for (const LogPoint& p : drawn)
            if (p.value == value)
                return true;
        return false;
    };
    EXPECT_TRUE(has(1e6)) << "the spike survives";
    EXPECT_TRUE(has(-1e6)) << "the dip survives";
    EXPECT_EQ(drawn.front().ms, 0);
    EXPECT_EQ(drawn.back().ms, to);
    for (size_t i = 1; i < drawn.size(); ++i)
        ASSERT_LT(drawn[i - 1].ms, drawn[i].ms) << "in time order, no point twice";

    // A zoomed range: the neighbours outside it are kept, so the line runs to the edges.
    const std::vector<LogPoint> zoomed = Decimate(points, 10500, 20500, 800);
    ASSERT_EQ(zoomed.size(), 12u); // 11..20 s inside, 10 s and 21 s outside
    EXPECT_EQ(zoomed.front().ms, 10000);
    EXPECT_EQ(zoomed.back().ms, 21000);
}

} // namespace
} // namespace vantrel::device
