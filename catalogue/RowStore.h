#pragma once

// The local copy of a query's result: for every fetched row, the value each
// column had when fetched, its current value and a change mark. It knows
// nothing of the database; the query fills it a row at a time and stores its
// edits in it.
//
// The copy is compact: every value is an 8-byte cell (null, an integer, or
// where its text lies) and the fetched texts share one text store, a text
// equal to the one above it in its column being stored once. The fetched
// values double as the current ones until an edit is first stored for a row;
// the row then gets a block with the cells of the columns it changed (an
// update run changes two of a row's columns) and a text store of its own.
// The cells lie in blocks of fixed size (std::deque), so the copy grows
// without moving what it holds: a large fetch never needs twice its memory.
// The changed rows are kept in order, so a write visits only them.

#include "catalogue/SqlValue.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// A value read from the copy: null, an integer, or a text whose bytes stay in
// the copy (valid until the copy next changes).
using TValueRef = std::variant<std::monostate, std::int32_t, std::string_view>;

TValueRef ToValueRef(const TSqlValue& value);  // the text is the one in value
TSqlValue ToSqlValue(const TValueRef& value);  // the text is copied

// The texts of one copy outgrew what its cells can address (4 GiB).
class ERowStoreFull : public std::length_error {
public:
  ERowStoreFull() : std::length_error("Too much text for the local copy") {}
};

class TRowStore {
public:
  explicit TRowStore(std::size_t columnCount);

  std::size_t ColumnCount() const { return columnCount_; }
  std::size_t RowCount() const { return rowBlocks_.size(); }
  // Drops every row and every change mark.
  void Clear();

  // Adds a fetched row after the others: one value per column, else
  // std::invalid_argument. On any failure the copy stays as it was.
  void AppendRow(std::span<const TSqlValue> values);

  // A value of a row of the copy, as fetched or as it is now. Unchecked:
  // row < RowCount(), column < ColumnCount().
  TValueRef Fetched(std::size_t row, std::size_t column) const;
  TValueRef Current(std::size_t row, std::size_t column) const;

  // Stores an edit of a row (row < RowCount()): edits has one entry per
  // column, and each column given a value takes it; the others keep their
  // current values, and the fetched values stay. An edit that gives no value
  // changes nothing. On any failure the copy stays as it was.
  void StoreEdit(std::size_t row, std::span<const std::optional<TSqlValue>> edits);
  // Drops every edit stored for a row (row < RowCount()): its current values
  // are its fetched ones again. Its change mark is left as it is.
  void DropEdit(std::size_t row) noexcept;

  // Change marks. Changed fails with std::out_of_range for a row not in the copy.
  void MarkChanged(std::size_t row) { changed_.insert(row); }
  void MarkUnchanged(std::size_t row) { changed_.erase(row); }
  bool Changed(std::size_t row) const;
  // The rows marked changed, in the order of the copy.
  const std::set<std::size_t>& ChangedRows() const { return changed_; }

  // The size of the copy, for checks of its compactness: the bytes of the
  // fetched text store, and the rows that have current values of their own.
  std::size_t FetchedTextSize() const { return fetchedText_.size(); }
  std::size_t EditedRowCount() const { return editBlocks_.size(); }

private:
  // One value of the copy. A text's bytes lie in the fetched text store or
  // in the edited row's own one, at Data; an integer is Data itself.
  enum class TCellKind : std::uint32_t { Null, Integer, FetchedText, EditedText };
  struct TCell {
    static constexpr unsigned KindShift = 30;  // the kind in the top 2 bits of LengthAndKind
    static constexpr std::uint32_t MaxLength = (std::uint32_t{1} << KindShift) - 1;

    std::uint32_t Data = 0;
    std::uint32_t LengthAndKind = 0;  // text length in bytes below the kind bits

    static TCell Make(TCellKind kind, std::uint32_t data = 0, std::uint32_t length = 0) {
      return {data, length | (static_cast<std::uint32_t>(kind) << KindShift)};
    }
    TCellKind Kind() const { return static_cast<TCellKind>(LengthAndKind >> KindShift); }
    std::uint32_t Length() const { return LengthAndKind & MaxLength; }
  };
  static_assert(sizeof(TCell) == 8, "a value of the copy takes 8 bytes");

  // A row's entry in rowBlocks_ until its first edit is stored: it has no
  // current cells of its own yet.
  static constexpr std::uint32_t NoBlock = UINT32_MAX;

  // A current value of an edited row: its column and its cell.
  struct TEditedCell {
    std::uint32_t Column = 0;
    TCell Cell;
  };
  // An edited row's block: its cells lie at editedCells_[First, First + Count),
  // in the order of their columns; the columns not there hold their fetched
  // values. Its place there has room for Room cells.
  struct TEditBlock {
    std::uint32_t First = 0;
    std::uint32_t Count = 0;
    std::uint32_t Room = 0;
    std::string Text;  // the block's texts
  };

  static TValueRef CellValue(const TCell& cell, const std::string& store);

  std::size_t columnCount_;
  // The fetched cells, a row after the other (one cell per column), and their texts.
  std::deque<TCell> fetchedCells_;
  std::string fetchedText_;
  // One entry per row: the index of its block in editBlocks_, or NoBlock.
  std::vector<std::uint32_t> rowBlocks_;
  std::deque<TEditBlock> editBlocks_;
  std::deque<TEditedCell> editedCells_;
  std::set<std::size_t> changed_;  // the rows marked changed, in the order of the copy
};
