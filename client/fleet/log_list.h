// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The event log of the "Log Info" panel: time-stamped lines, newest at the end. It only grows, up to
// kMaxLines; past that the oldest lines go first, so a client that runs for months stays bounded. Lines
// are plain text. UI thread only.
#include <QAbstractListModel>
#include <QListView>
#include <QSize>
#include <deque>

class LogListModel : public QAbstractListModel {
    Q_OBJECT
  public:
    explicit LogListModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Appends a line, dropping the oldest when the log is full.
    void Append(const QString& line, int max_lines);
    const QString& line(int row) const { return lines_[size_t(row)]; }
    void SetItemSize(QSize size) { item_size_ = size; }

  private:
    std::deque<QString> lines_;
    QSize item_size_;  // invalid: the delegate's own size
};

class LogList : public QListView {
    Q_OBJECT
  public:
    static constexpr int kMaxLines = 100000;

    explicit LogList(QWidget* parent = nullptr);

    void AddLine(const QString& line);
    int count() const { return model_.rowCount(); }
    QString line(int row) const { return model_.line(row); }
    // Width the horizontal scroll bar lets the operator scroll over (the lines may be longer).
    void SetHorizontalExtent(int width_px);
    void SetColors(const QColor& text, const QColor& background);
    void set_max_lines(int max_lines) { max_lines_ = max_lines; }

  protected:
    // Shown again: the newest lines are in view.
    void showEvent(QShowEvent* event) override;

  private:
    LogListModel model_;
    int max_lines_ = kMaxLines;
};
