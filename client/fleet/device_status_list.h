// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The vehicle list under the tree: one row per device, row n for the device whose library user data is n,
// with the columns "Vehicle Id", "Driver", "Speed" and "UpdateTime". Rows are kept in a vector and only
// the cells that changed are reported to the view, so the status refresh of a large fleet stays cheap.
// Texts are plain. The columns sort when their headings are clicked (VehicleListProxy); rows are always
// named by the model's row numbers in this interface, whatever the order shown. UI thread only.
#include <QAbstractTableModel>
#include <QTimer>
#include <QTreeView>
#include <array>
#include <vector>

#include "fleet/vehicle_list_proxy.h"

class DeviceStatusModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int kColumns = 4;

    explicit DeviceStatusModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void SetHeaders(const std::array<QString, kColumns>& headers) { headers_ = headers; }
    // Appends a row whose first cell is `name` (the rows are numbered in order of arrival).
    void AppendRow(const QString& name);
    // Sets a cell; a row or column out of range is ignored.
    void SetCell(int row, int column, const QString& text);
    QString Cell(int row, int column) const;
    // The batched way: StoreCell sets a cell without telling the views (true when it changed), and
    // ReportRows tells them once about rows first..last, every column.
    bool StoreCell(int row, int column, const QString& text);
    void ReportRows(int first, int last);
    // A row drawn as needing attention (an unacknowledged alarm); out of range is ignored.
    void SetHighlight(int row, bool on);
    bool Highlighted(int row) const {
        return row >= 0 && row < int(highlight_.size()) && highlight_[size_t(row)];
    }
    void Clear();
    // Every row drawn in `color` (an invalid colour: the view's text colour again).
    void SetRowsColor(const QColor& color);

  private:
    // The text a cell shows for `text`, made once when the cell is stored: data() runs for every cell of
    // every paint and only hands it out.
    static QString Shown(int column, const QString& text);

    QColor rows_color_;
    std::vector<std::array<QString, kColumns>> rows_;
    std::vector<std::array<QString, kColumns>> shown_;  // what data() shows of rows_, row by row
    std::vector<bool> highlight_;
    std::array<QString, kColumns> headers_;
};

class DeviceStatusList : public QTreeView {
    Q_OBJECT
  public:
    explicit DeviceStatusList(QWidget* parent = nullptr);

    // The columns with their translated headings and widths; a column widens when a text needs more.
    void InsertColumns();
    void SetColors(const QColor& text, const QColor& background);

    int rowCount() const { return model_.rowCount(); }
    // Inserts row `row` when it is the next one, else sets its first cell.
    void SetRowName(int row, const QString& name);
    void SetCell(int row, int column, const QString& text) { model_.SetCell(row, column, text); }
    QString Cell(int row, int column) const { return model_.Cell(row, column); }
    // Stores a cell (widening its column as SetCell does) and leaves telling the view to ReportRows, so
    // that a batch of changes reaches the view as one range.
    bool StoreCell(int row, int column, const QString& text);
    void ReportRows(int first, int last) { model_.ReportRows(first, last); }
    void DeleteAllItems() {
        model_.Clear();
        model_.SetRowsColor(QColor());
    }
    // While the center cannot be reached the rows are greyed: their times and speeds are not current.
    void SetStatesUnknown(bool unknown);
    void SetRowHighlight(int row, bool on) { model_.SetHighlight(row, on); }
    // Selects the row (and scrolls to it) when it is shown; a hidden row leaves the selection empty.
    void SelectRow(int row);
    // Hides or shows the model's row `row` (the fleet filter); out of range is ignored.
    void SetRowShown(int row, bool shown);
    bool RowShown(int row) const;
    // The model's row drawn at place `place` from the top (hidden rows count), or -1.
    int RowAt(int place) const;
    VehicleListProxy& proxy() { return proxy_; }

    // While a column sorts the list, changed cells re-sort it at most this often.
    static constexpr int kResortIntervalMs = 1000;

  signals:
    // The operator clicked a row, or started dragging one.
    void rowClicked(int row);
    void rowDragStarted(int row);

  protected:
    void startDrag(Qt::DropActions actions) override;

  private:
    // Room for the cell's margins and the focus frame around a text.
    static constexpr int kCellPaddingPx = 12;
    void FitColumn(int column, const QString& text);
    int SourceRow(const QModelIndex& index) const { return proxy_.mapToSource(index).row(); }
    DeviceStatusModel model_;
    VehicleListProxy proxy_{model_};
    QTimer resort_;
};
