#pragma once

// The chart of a log readout: the records' time on the bottom axis, one line a numeric column
// with an axis of its own where the scales differ, a legend that turns a line on and off,
// zoom by dragging across the time axis, panning with the right mouse button or the arrow
// keys, the time and value of the record nearest the mouse, and the picture saved as PNG.
// Every record stays in the data; what is drawn is thinned to what the plot's width can show,
// again after every zoom or pan, so that a long list stays quick.

#include "device/LogSeries.h"

#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTimer;

namespace vantrel::ui {

class LogChartPlot;

extern const char* const kSavePictureCaption; // "Save picture..."
extern const char* const kResetZoomCaption;   // "Reset zoom"

class LogChartView final : public QWidget {
    Q_OBJECT
public:
    explicit LogChartView(QWidget* parent = nullptr);
    ~LogChartView() override;

    // A new chart; the zoom is kept when only records were added to the one shown.
    void SetChart(device::LogChart chart);
    const device::LogChart& Chart() const { return chart_; }

    // The picture of the chart as a PNG file, replacing an old one only once complete.
    bool SavePicture(const QString& path, QString* error) const;
    // Asks for the file of "Save picture..."; empty: cancelled. A file dialog unless set.
    std::function<QString()> askPictureFile;

    // For the tests and the benchmark: what is drawn now, and the visible time range.
    int DrawnPoints() const;
    int SeriesShown() const;
    void ZoomTo(int64_t fromMs, int64_t toMs);
    void Pan(double pixels);
    void ResetZoom();
    QWidget* Plot() const;
    QLabel* Note() const { return note_; }
    // The text the mouse at a time would show for a series ("2026-12-10 11:00:00 FLOWRATE:
    // 123.4"): the record nearest that time.
    QString ReadoutAt(int series, int64_t ms) const;

private:
    void Rebuild();
    void Redraw();
    void ShowNote();
    void SavePictureClick();
    int64_t ToAxis(int64_t ms) const { return ms + axisOffsetMs_; }
    int64_t FromAxis(double x) const { return static_cast<int64_t>(x) - axisOffsetMs_; }

    device::LogChart chart_;
    LogChartPlot* plot_;
    QLabel* note_;
    QPushButton* reset_;
    QPushButton* save_;
    QTimer* redraw_;
    // The records' times are the unit's clock, no time zone: the axis shows them as they are.
    int64_t axisOffsetMs_ = 0;
    std::vector<std::string> shownNames_;
    bool zoomed_ = false;
    bool redrawing_ = false;
};

} // namespace vantrel::ui
