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
  editBlocks_.clear();
  editedCells_.clear();
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
  const TEditBlock& edit = editBlocks_[block];
  for (std::uint32_t i = edit.First; i < edit.First + edit.Count; ++i) {
    const TEditedCell& edited = editedCells_[i];
    if (edited.Column == column) return CellValue(edited.Cell, edited.Cell.Kind() == TCellKind::EditedText ? edit.Text : fetchedText_);
    if (edited.Column > column) break;
  }
  return Fetched(row, column);
}

// The row's block holds the cells of every column edited so far, rebuilt at
// each edit with its texts, so a text set again leaves nothing behind. The
// new cells take the block's old place when they fit in it (as they do when
// the same columns are edited again), else a place after all others.
void TRowStore::StoreEdit(std::size_t row, std::span<const std::optional<TSqlValue>> edits) {
  if (edits.size() != columnCount_) throw std::invalid_argument("an edit of the copy needs one entry per column");
  if (std::none_of(edits.begin(), edits.end(), [](const auto& set) { return set.has_value(); })) return;
  const std::uint32_t block = rowBlocks_[row];
  const TEditBlock* old = block == NoBlock ? nullptr : &editBlocks_[block];
  std::vector<TEditedCell> cells;
  std::string text;
  auto keep = [&](std::string_view bytes) {
    if (bytes.size() > TCell::MaxLength || text.size() > UINT32_MAX - bytes.size()) throw ERowStoreFull();
    const TCell cell = TCell::Make(TCellKind::EditedText, static_cast<std::uint32_t>(text.size()),
                                   static_cast<std::uint32_t>(bytes.size()));
    text += bytes;
    return cell;
  };
  std::uint32_t next = old != nullptr ? old->First : 0;  // the old block's next cell
  const std::uint32_t end = old != nullptr ? old->First + old->Count : 0;
  for (std::size_t column = 0; column < columnCount_; ++column) {
    const TEditedCell* before = next < end && editedCells_[next].Column == column ? &editedCells_[next++] : nullptr;
    TCell cell;
    if (const std::optional<TSqlValue>& set = edits[column]; set.has_value()) {
      if (const auto* number = std::get_if<std::int32_t>(&*set)) {
        cell = TCell::Make(TCellKind::Integer, static_cast<std::uint32_t>(*number));
      } else if (const auto* setText = std::get_if<std::string>(&*set)) {
        cell = keep(*setText);
      } else {
        cell = TCell::Make(TCellKind::Null);
      }
    } else if (before == nullptr) {
      continue;  // still its fetched value
    } else if (before->Cell.Kind() == TCellKind::EditedText) {
      cell = keep(std::get<std::string_view>(CellValue(before->Cell, old->Text)));
    } else {
      cell = before->Cell;
    }
    cells.push_back({static_cast<std::uint32_t>(column), cell});
  }
  // Nothing of the copy changes before this point.
  if (old != nullptr && cells.size() <= old->Room) {
    std::copy(cells.begin(), cells.end(), editedCells_.begin() + old->First);
    TEditBlock& edit = editBlocks_[block];
    edit.Count = static_cast<std::uint32_t>(cells.size());
    edit.Text = std::move(text);
    return;
  }
  if (editedCells_.size() > UINT32_MAX - cells.size() || (old == nullptr && editBlocks_.size() >= NoBlock))
    throw ERowStoreFull();
  const auto first = static_cast<std::uint32_t>(editedCells_.size());
  editedCells_.insert(editedCells_.end(), cells.begin(), cells.end());
  const auto count = static_cast<std::uint32_t>(cells.size());
  if (old != nullptr) {
    editBlocks_[block] = {first, count, count, std::move(text)};
    return;
  }
  try {
    editBlocks_.push_back({first, count, count, std::move(text)});
  } catch (...) {
    editedCells_.resize(first);
    throw;
  }
  rowBlocks_[row] = static_cast<std::uint32_t>(editBlocks_.size() - 1);
}

// The row keeps its block and its place, now without cells: its current
// values are its fetched ones, and its next edit fills the place again.
void TRowStore::DropEdit(std::size_t row) noexcept {
  const std::uint32_t block = rowBlocks_[row];
  if (block == NoBlock) return;
  TEditBlock& edit = editBlocks_[block];
  edit.Count = 0;
  edit.Text = std::string();
}

bool TRowStore::Changed(std::size_t row) const {
  static_cast<void>(rowBlocks_.at(row));  // the copy's range check
  return changed_.contains(row);
}
