#include "catalogue/RowStore.h"

#include <algorithm>

TValueRef ToValueRef(const TSqlValue& value) {
  if (const auto* number = std::get_if<std::int32_t>(&value)) return *number;
  if (const auto* text = std::get_if<std::string>(&value)) return std::string_view(*text);
  return {};
}

TSqlValue ToSqlValue(const TValueRef& value) {
  if (const auto* number = std::get_if<std::int32_t>(&value)) return *number;
  if (const auto* text = std::get_if<std::string_view>(&value)) return std::string(*text);
  return {};
}

TRowStore::TRowStore(std::size_t columnCount) : columnCount_(columnCount) {}

void TRowStore::Clear() {
  fetchedCells_.clear();
  fetchedText_.clear();
  rowBlocks_.clear();
  editedCells_.clear();
  editedText_.clear();
  changed_.clear();
}

void TRowStore::AppendRow(std::span<const TSqlValue> values) {
  if (values.size() != columnCount_) throw std::invalid_argument("a row of the copy needs one value per column");
  const std::size_t firstCell = fetchedCells_.size();
  const std::size_t textSize = fetchedText_.size();
  try {
    for (std::size_t column = 0; column < columnCount_; ++column) {
      const TSqlValue& value = values[column];
      TCell cell;
      if (const auto* number = std::get_if<std::int32_t>(&value)) {
        cell = TCell::Make(TCellKind::Integer, static_cast<std::uint32_t>(*number));
      } else if (const auto* text = std::get_if<std::string>(&value)) {
        // Paths, flags and "00:00" mostly repeat the row above: those bytes are kept once.
        const TCell* above = firstCell > 0 ? &fetchedCells_[firstCell - columnCount_ + column] : nullptr;
        if (above != nullptr && above->Kind() == TCellKind::FetchedText && above->Length() == text->size() &&
            fetchedText_.compare(above->Data, above->Length(), *text) == 0) {
          cell = *above;
        } else {
          if (text->size() > TCell::MaxLength || fetchedText_.size() > UINT32_MAX - text->size()) throw ERowStoreFull();
          cell = TCell::Make(TCellKind::FetchedText, static_cast<std::uint32_t>(fetchedText_.size()),
                             static_cast<std::uint32_t>(text->size()));
          fetchedText_ += *text;
        }
      }
      fetchedCells_.push_back(cell);
    }
    rowBlocks_.push_back(NoBlock);
  } catch (...) {
    // The copy never holds part of a row.
    fetchedCells_.resize(firstCell);
    fetchedText_.resize(textSize);
    throw;
  }
}

TValueRef TRowStore::CellValue(const TCell& cell, const std::string& store) {
  switch (cell.Kind()) {
    case TCellKind::Integer:
      return static_cast<std::int32_t>(cell.Data);
    case TCellKind::FetchedText:
    case TCellKind::EditedText:
      return std::string_view(store).substr(cell.Data, cell.Length());
    case TCellKind::Null:
      break;
  }
  return {};
}

TValueRef TRowStore::Fetched(std::size_t row, std::size_t column) const {
  return CellValue(fetchedCells_[row * columnCount_ + column], fetchedText_);
}

TValueRef TRowStore::Current(std::size_t row, std::size_t column) const {
  const std::uint32_t block = rowBlocks_[row];
  if (block == NoBlock) return Fetched(row, column);
  const TCell& cell = editedCells_[block * columnCount_ + column];
  return CellValue(cell, cell.Kind() == TCellKind::EditedText ? editedText_[block] : fetchedText_);
}

// The row's block of current cells is made from its fetched cells at its
// first edit. The block's texts are rebuilt each time, so a text set again
// leaves nothing behind.
void TRowStore::StoreEdit(std::size_t row, std::span<const std::optional<TSqlValue>> edits) {
  if (edits.size() != columnCount_) throw std::invalid_argument("an edit of the copy needs one entry per column");
  if (std::none_of(edits.begin(), edits.end(), [](const auto& set) { return set.has_value(); })) return;
  const std::uint32_t block = rowBlocks_[row];
  const TCell* from = block == NoBlock ? fetchedCells_.data() + row * columnCount_
                                       : editedCells_.data() + block * columnCount_;
  std::vector<TCell> cells(from, from + columnCount_);
  std::string text;
  const std::string* oldText = block == NoBlock ? nullptr : &editedText_[block];
  auto keep = [&](std::string_view bytes) {
    if (bytes.size() > TCell::MaxLength || text.size() > UINT32_MAX - bytes.size()) throw ERowStoreFull();
    const TCell cell = TCell::Make(TCellKind::EditedText, static_cast<std::uint32_t>(text.size()),
                                   static_cast<std::uint32_t>(bytes.size()));
    text += bytes;
    return cell;
  };
  for (std::size_t column = 0; column < columnCount_; ++column) {
    TCell& cell = cells[column];
    if (const std::optional<TSqlValue>& set = edits[column]; set.has_value()) {
      if (const auto* number = std::get_if<std::int32_t>(&*set)) {
        cell = TCell::Make(TCellKind::Integer, static_cast<std::uint32_t>(*number));
      } else if (const auto* setText = std::get_if<std::string>(&*set)) {
        cell = keep(*setText);
      } else {
        cell = TCell::Make(TCellKind::Null);
      }
    } else if (cell.Kind() == TCellKind::EditedText) {
      cell = keep(std::get<std::string_view>(CellValue(cell, *oldText)));
    }
  }
  // Nothing of the copy changes before this point.
  if (block == NoBlock) {
    if (editedText_.size() >= NoBlock) throw ERowStoreFull();
    editedCells_.insert(editedCells_.end(), cells.begin(), cells.end());
    try {
      editedText_.push_back(std::move(text));
    } catch (...) {
      editedCells_.resize(editedCells_.size() - columnCount_);
      throw;
    }
    rowBlocks_[row] = static_cast<std::uint32_t>(editedText_.size() - 1);
  } else {
    std::copy(cells.begin(), cells.end(), editedCells_.begin() + static_cast<std::ptrdiff_t>(block * columnCount_));
    editedText_[block] = std::move(text);
  }
}

// The row keeps its block, now a copy of its fetched cells (whose texts lie
// in the fetched store), for its next edit.
void TRowStore::DropEdit(std::size_t row) noexcept {
  const std::uint32_t block = rowBlocks_[row];
  if (block == NoBlock) return;
  std::copy_n(fetchedCells_.begin() + static_cast<std::ptrdiff_t>(row * columnCount_), columnCount_,
              editedCells_.begin() + static_cast<std::ptrdiff_t>(block * columnCount_));
  editedText_[block] = std::string();
}

bool TRowStore::Changed(std::size_t row) const {
  static_cast<void>(rowBlocks_.at(row));  // the copy's range check
  return changed_.contains(row);
}
