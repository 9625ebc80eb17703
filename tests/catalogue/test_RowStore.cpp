#include "catalogue/RowStore.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;
using TRow = std::vector<TSqlValue>;
using TEdit = std::vector<std::optional<TSqlValue>>;

const TSqlValue Null{};
TSqlValue T(std::string text) { return text; }

// Every value of the copy, as fetched (&TRowStore::Fetched) or as it is now (&TRowStore::Current).
using TReadValue = TValueRef (TRowStore::*)(std::size_t, std::size_t) const;
std::vector<TRow> Rows(const TRowStore& store, TReadValue read) {
  std::vector<TRow> rows(store.RowCount());
  for (std::size_t row = 0; row < rows.size(); ++row) {
    for (std::size_t column = 0; column < store.ColumnCount(); ++column) {
      rows[row].push_back(ToSqlValue((store.*read)(row, column)));
    }
  }
  return rows;
}

TRowStore StoreOf(std::size_t columnCount, const std::vector<TRow>& rows) {
  TRowStore store(columnCount);
  for (const TRow& row : rows) store.AppendRow(row);
  return store;
}

TEST(RowStore, ValuesConvertBothWays) {
  const TSqlValue values[] = {Null, 0, INT32_MIN, INT32_MAX, T(""), T("00:00"), T("a\0b"s), T("\xE7\xE3o")};
  for (const TSqlValue& value : values) {
    const TValueRef ref = ToValueRef(value);
    EXPECT_EQ(ref.index(), value.index());
    EXPECT_EQ(ToSqlValue(ref), value);
  }
}

TEST(RowStore, ReadsRowsAsFetched) {
  // In the order of the copy; each row is key, name, path.
  const std::vector<TRow> rows = {
      {3, T("Nome"), T("/musicas/")},
      {INT32_MIN, Null, T("/musicas/")},
      {INT32_MAX, T(""), Null},
      {0, T("a\0b"s), T("\xE7\xE3o")},
      {Null, T("Nome"), T("")},
  };
  const TRowStore store = StoreOf(3, rows);
  EXPECT_EQ(store.ColumnCount(), 3u);
  EXPECT_EQ(store.RowCount(), rows.size());
  EXPECT_EQ(Rows(store, &TRowStore::Fetched), rows);
  EXPECT_EQ(Rows(store, &TRowStore::Current), rows);  // no edit yet: current as fetched
  EXPECT_TRUE(store.ChangedRows().empty());
  EXPECT_EQ(store.EditedRowCount(), 0u);
}

TEST(RowStore, ATextEqualToTheOneAboveIsStoredOnce) {
  struct TCase {
    const char* what;
    std::size_t columnCount;
    std::vector<TRow> rows;
    std::size_t textBytes;
  };
  const TCase cases[] = {
      {"the same text in every row", 1, {{T("00:00")}, {T("00:00")}, {T("00:00")}}, 5},
      {"letter case counts", 1, {{T("abc")}, {T("ABC")}}, 6},
      {"a longer text with the same start", 1, {{T("abc")}, {T("abc ")}}, 7},
      {"only the row directly above counts", 1, {{T("abc")}, {T("x")}, {T("abc")}}, 7},
      {"a null between breaks the chain", 1, {{T("ab")}, {Null}, {T("ab")}}, 4},
      {"an integer between breaks the chain", 1, {{T("ab")}, {1}, {T("ab")}}, 4},
      {"only the same column counts", 2, {{T("x"), T("yy")}, {T("yy"), T("x")}}, 6},
      {"each column by itself", 2, {{T("path/"), T("a.mp3")}, {T("path/"), T("b.mp3")}, {T("path/"), T("b.mp3")}}, 15},
      {"empty texts take no bytes", 1, {{T("")}, {T("")}}, 0},
  };
  for (const auto& c : cases) {
    const TRowStore store = StoreOf(c.columnCount, c.rows);
    EXPECT_EQ(store.FetchedTextSize(), c.textBytes) << c.what;
    EXPECT_EQ(Rows(store, &TRowStore::Fetched), c.rows) << c.what;
  }
}

TEST(RowStore, EditsBuildOnEarlierOnesAndLeaveTheRestAlone) {
  // Key, name, path; the second row shares its texts with the first.
  const std::vector<TRow> fetched = {
      {1, T("Igual"), T("/musicas/")},
      {2, T("Igual"), T("/musicas/")},
      {3, T("Outra"), Null},
  };
  struct TStep {
    const char* what;
    std::size_t row;
    TEdit edit;
    TRow after;  // the row's current values afterwards
    std::size_t editedRows;
  };
  const std::string longName(300, 'n');
  const TStep steps[] = {
      {"an edit without values changes nothing", 1, {std::nullopt, std::nullopt, std::nullopt},
       {2, T("Igual"), T("/musicas/")}, 0},
      {"a text of a row that shares its bytes with the row above", 1, {std::nullopt, T("Novo"), std::nullopt},
       {2, T("Novo"), T("/musicas/")}, 1},
      {"a later edit keeps the earlier one", 1, {20, std::nullopt, T("/outra/")}, {20, T("Novo"), T("/outra/")}, 1},
      {"a shorter text, a longer one and a null", 1, {Null, T("N"), T(longName)}, {Null, T("N"), T(longName)}, 1},
      {"an empty text", 1, {std::nullopt, T(""), std::nullopt}, {Null, T(""), T(longName)}, 1},
      {"another row gets a block of its own", 2, {std::nullopt, std::nullopt, T("/vinhetas/")},
       {3, T("Outra"), T("/vinhetas/")}, 2},
  };
  TRowStore store = StoreOf(3, fetched);
  const std::size_t textBytes = store.FetchedTextSize();
  std::vector<TRow> current = fetched;
  for (const TStep& step : steps) {
    store.StoreEdit(step.row, step.edit);
    current[step.row] = step.after;
    EXPECT_EQ(Rows(store, &TRowStore::Current), current) << step.what;
    EXPECT_EQ(Rows(store, &TRowStore::Fetched), fetched) << step.what;
    EXPECT_EQ(store.FetchedTextSize(), textBytes) << step.what;
    EXPECT_EQ(store.EditedRowCount(), step.editedRows) << step.what;
    EXPECT_TRUE(store.ChangedRows().empty()) << step.what;  // marks are the caller's
  }
}

TEST(RowStore, DroppedEditShowsTheFetchedValuesAgain) {
  // Key, name, path; the second row shares its texts with the first.
  const std::vector<TRow> fetched = {
      {1, T("Igual"), T("/musicas/")},
      {2, T("Igual"), T("/musicas/")},
      {3, Null, T("/outra/")},
  };
  TRowStore store = StoreOf(3, fetched);
  store.StoreEdit(1, TEdit{20, T("Novo"), Null});
  store.StoreEdit(2, TEdit{std::nullopt, T("Nome"), std::nullopt});
  store.MarkChanged(1);
  store.DropEdit(1);
  store.DropEdit(0);  // a row without edits: nothing happens
  std::vector<TRow> current = fetched;
  current[2] = {3, T("Nome"), T("/outra/")};
  EXPECT_EQ(Rows(store, &TRowStore::Current), current);
  EXPECT_EQ(Rows(store, &TRowStore::Fetched), fetched);
  EXPECT_TRUE(store.Changed(1));  // marks are the caller's
  // A later edit of the row builds on the fetched values.
  store.StoreEdit(1, TEdit{std::nullopt, std::nullopt, T("/nova/")});
  current[1] = {2, T("Igual"), T("/nova/")};
  EXPECT_EQ(Rows(store, &TRowStore::Current), current);
  EXPECT_EQ(store.EditedRowCount(), 2u);  // the row's block is used again
}

TEST(RowStore, ChangeMarksInTheOrderOfTheCopy) {
  TRowStore store = StoreOf(1, {{1}, {2}, {3}, {4}});
  store.MarkChanged(3);
  store.MarkChanged(0);
  store.MarkChanged(2);
  store.MarkChanged(3);
  EXPECT_EQ(store.ChangedRows(), (std::set<std::size_t>{0, 2, 3}));
  store.MarkUnchanged(2);
  store.MarkUnchanged(1);  // not marked: nothing happens
  const bool changed[] = {true, false, false, true};
  for (std::size_t row = 0; row < std::size(changed); ++row) EXPECT_EQ(store.Changed(row), changed[row]) << row;
  EXPECT_THROW(store.Changed(4), std::out_of_range);
}

TEST(RowStore, ClearDropsRowsEditsAndMarks) {
  TRowStore store = StoreOf(2, {{1, T("a")}, {2, T("b")}});
  store.StoreEdit(0, TEdit{std::nullopt, T("c")});
  store.MarkChanged(0);
  store.Clear();
  EXPECT_EQ(store.RowCount(), 0u);
  EXPECT_EQ(store.FetchedTextSize(), 0u);
  EXPECT_EQ(store.EditedRowCount(), 0u);
  EXPECT_TRUE(store.ChangedRows().empty());
  EXPECT_THROW(store.Changed(0), std::out_of_range);
  // The copy is filled again from the start.
  store.AppendRow(TRow{7, T("d")});
  EXPECT_EQ(Rows(store, &TRowStore::Current), (std::vector<TRow>{{7, T("d")}}));
}

TEST(RowStore, RefusesRowsAndEditsOfAnotherWidth) {
  TRowStore store = StoreOf(2, {{1, T("a")}});
  EXPECT_THROW(store.AppendRow(TRow{2}), std::invalid_argument);
  EXPECT_THROW(store.AppendRow(TRow{2, T("b"), T("c")}), std::invalid_argument);
  EXPECT_THROW(store.StoreEdit(0, TEdit{T("x")}), std::invalid_argument);
  EXPECT_EQ(Rows(store, &TRowStore::Fetched), (std::vector<TRow>{{1, T("a")}}));
  EXPECT_EQ(Rows(store, &TRowStore::Current), (std::vector<TRow>{{1, T("a")}}));
  EXPECT_EQ(store.EditedRowCount(), 0u);
}

}  // namespace
