#include "results/DataSheet.h"

#include "base/RuntimeError.h"
#include "results/ResultData.h"

#include <algorithm>

namespace kivora {

DataSheet::CellRef &DataSheet::CellRef::operator=(double number) {
    return assign(QVariant(number));
}

DataSheet::CellRef &DataSheet::CellRef::operator=(const QString &text) {
    return assign(QVariant(text));
}

DataSheet::CellRef &DataSheet::CellRef::assign(const QVariant &v) {
    m_sheet.store(m_row, m_column, v);
    return *this;
}

QVariant DataSheet::CellRef::value() const {
    return std::as_const(m_sheet).cells(m_row, m_column);
}

DataSheet::DataSheet(Contents contents) {
    if (contents == Contents::DesignTime) {
        m_cells[{1, 2}] = QVariant(60.0);
        m_cells[{2, 1}] = QVariant(seriesName(1200));
    }
}

void DataSheet::checkAddress(int row, int column) {
    if (row < 1 || row > MaxRows || column < 1 || column > MaxColumns)
        throw RuntimeError(ErrSubscript, u"(%1, %2)"_qs.arg(row).arg(column));
}

DataSheet::CellRef DataSheet::cells(int row, int column) {
    checkAddress(row, column);
    return CellRef(*this, row, column);
}

QVariant DataSheet::cells(int row, int column) const {
    checkAddress(row, column);
    const auto it = m_cells.find({row, column});
    return it == m_cells.end() ? QVariant() : it->second;
}

void DataSheet::store(int row, int column, const QVariant &value) {
    if (value.isValid())
        m_cells[{row, column}] = value;
    else
        m_cells.erase({row, column});
    changed(row, column);
}

void DataSheet::clear() {
    m_cells.clear();
    changed(0, 0);
}

void DataSheet::changed(int row, int column) {
    if (m_listener)
        m_listener(row, column);
}

int DataSheet::lastRow() const {
    return m_cells.empty() ? 0 : m_cells.rbegin()->first.first;
}

int DataSheet::lastColumn() const {
    int last = 0;
    for (const auto &[address, value] : m_cells)
        last = std::max(last, address.second);
    return last;
}

} // namespace kivora
