#pragma once

#include <QString>
#include <QVariant>
#include <functional>
#include <map>
#include <utility>

namespace kivora {

// The data sheet behind the results chart: a grid of cells addressed (row, column), both
// 1-based, each empty, a number (double) or a text. Row 1 holds the category labels from
// column 2 on, column 1 the series labels from row 2 on, and cell (r, c) with r, c >= 2 the
// value of series r - 1 at category c - 1. Cell (1, 1) is the unused corner.
//
// The program writes it cell by cell, in any order:
//     sheet.cells(1, 2) = 60.0;
//     sheet.cells(2, 1) = u"呈示 1200mS"_qs;
// and the chart that owns it redraws through the change listener after each write.
class DataSheet {
public:
    // The sheet's bounds, as large as the chart's own sheet ever was.
    static constexpr int MaxRows = 4000;
    static constexpr int MaxColumns = 4000;

    enum class Contents {
        Empty,
        // What the chart holds before the program writes to it: the category label 60 in
        // (1, 2) and the series label "呈示 1200mS" in (2, 1).
        DesignTime,
    };

    // One addressed cell: assign a number or a text to it, or read it as a QVariant (invalid
    // when empty, a double, or a QString).
    class CellRef {
    public:
        CellRef &operator=(double number);
        CellRef &operator=(const QString &text);
        CellRef &operator=(const CellRef &other) { return assign(other.value()); }
        QVariant value() const;
        operator QVariant() const { return value(); }

    private:
        friend class DataSheet;
        CellRef(DataSheet &sheet, int row, int column) : m_sheet(sheet), m_row(row), m_column(column) {}
        CellRef &assign(const QVariant &v);
        DataSheet &m_sheet;
        int m_row;
        int m_column;
    };

    explicit DataSheet(Contents contents = Contents::Empty);
    // The sheet belongs to its chart; a copy would silently carry or lose its listener.
    DataSheet(const DataSheet &) = delete;
    DataSheet &operator=(const DataSheet &) = delete;

    // A row or column outside 1..4000 is a subscript error (9).
    CellRef cells(int row, int column);
    QVariant cells(int row, int column) const;

    void clear();

    // The highest row and column that hold anything; 0 for an empty sheet.
    int lastRow() const;
    int lastColumn() const;
    bool isEmpty() const { return m_cells.empty(); }

    // Called after every write with the cell written (row, column); (0, 0) after clear().
    using ChangeListener = std::function<void(int row, int column)>;
    void setChangeListener(ChangeListener listener) { m_listener = std::move(listener); }

private:
    void store(int row, int column, const QVariant &value);
    static void checkAddress(int row, int column);
    void changed(int row, int column);

    std::map<std::pair<int, int>, QVariant> m_cells; // (row, column) -> number or text
    ChangeListener m_listener;
};

} // namespace kivora
