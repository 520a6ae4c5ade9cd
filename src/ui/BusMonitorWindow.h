#pragma once

// The bus monitor: a window of its own, beside the main window, with one row per frame the
// worker sends or hears, from every run. While it is shown the worker hands its rows to a
// queue that a timer here drains; while it is hidden nothing is attached and the worker makes
// no rows at all. It keeps the last kMonitorRows rows.

#include "modbus/BusMonitor.h"

#include <QAbstractTableModel>
#include <QWidget>

#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
class QTimer;

namespace vantrel::host {
class Prompts;
}
namespace vantrel::modbus {
class TModThread;
}

namespace vantrel::ui {

// The ring of rows as a table: time, direction, address, function, frame, meaning, round trip.
class TrafficTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TrafficTableModel(size_t capacity, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Returns how many of the oldest rows made room.
    size_t Append(std::vector<modbus::TrafficRow> rows);
    void Clear();
    const modbus::TrafficRow& Row(int index) const { return ring_.At(static_cast<size_t>(index)); }

private:
    modbus::TrafficRing ring_;
};

class TBusMonitor final : public QWidget {
    Q_OBJECT
public:
    TBusMonitor(modbus::TModThread& worker, host::Prompts* prompts, QWidget* parent,
                size_t capacity = modbus::kMonitorRows);
    ~TBusMonitor() override;

    // Brings the window up beside the main window, or back to the front.
    void ShowAndRaise();
    // Takes what the worker has handed over (the timer does this every tick).
    void Drain();
    // The rows as shown (Errors only applies), header first, one line each.
    std::string ShownText() const;
    // Writes ShownText to path whole or not at all; the error says why not.
    bool SaveTo(const std::string& path, std::string* error) const;

    int ShownRows() const;
    size_t DroppedOldest() const { return droppedOldest_; }
    size_t DroppedBehind() const { return droppedBehind_; }
    modbus::TrafficQueue& Queue() { return queue_; }
    TrafficTableModel& Model() const { return *model_; }
    QTableView* Table() const { return table_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void SaveClick();
    void ShowCounts();

    modbus::TModThread& worker_;
    host::Prompts* prompts_;
    modbus::TrafficQueue queue_;
    // Rows that came while paused, shown on Resume; bounded as the table is.
    std::vector<modbus::TrafficRow> held_;
    size_t capacity_;
    size_t droppedOldest_ = 0;
    size_t droppedBehind_ = 0;
    TrafficTableModel* model_;
    QSortFilterProxyModel* filter_;
    QTableView* table_;
    QPushButton* pause_;
    QCheckBox* errorsOnly_;
    QLabel* counts_;
    QTimer* timer_;
};

} // namespace vantrel::ui
