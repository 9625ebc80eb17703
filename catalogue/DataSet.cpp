#include "catalogue/DataSet.h"

#include "catalogue/CharacterSets.h"

#include <algorithm>
#include <charconv>
#include <strings.h>

namespace {

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

constexpr std::string_view OldPrefix = "OLD_";

std::string SizeMismatchText(std::string_view column) {
  return "Size Mismatch - Field " + std::string(column) + " size is too small for data";
}

}  // namespace

// ---- TDatabase ----

TDatabase::TDatabase(std::string name, std::string databaseName)
    : name_(std::move(name)), databaseName_(std::move(databaseName)) {}

void TDatabase::Connect() {
  if (Connected()) return;
  if (databaseName_.empty()) throw EDatabaseError("Database name is missing");
  TFbAttachment attachment = TFbAttachment::Attach(databaseName_);
  const int dialect = attachment.DatabaseDialect();
  // Statements use the lower of the database's dialect and 1.
  sqlDialect_ = static_cast<unsigned short>(std::clamp<int>(dialect, 1, StatementDialect));
  databaseDialect_ = dialect;
  attachment_ = std::move(attachment);
}

void TDatabase::Close() { attachment_.Detach(); }

TFbAttachment& TDatabase::Attachment() {
  if (!Connected()) throw EDatabaseError(name_ + ": Database not connected");
  return attachment_;
}

// ---- TTransaction ----

TTransaction::TTransaction(std::string name, TDatabase& database) : name_(std::move(name)), database_(database) {}

TTransaction::~TTransaction() {
  if (!transaction_.Active()) return;
  try {
    transaction_.Commit();
  } catch (...) {
    // Nothing can be reported from here; the handle rolls back what is left.
  }
}

void TTransaction::StartTransaction() {
  if (Active()) throw EDatabaseError(name_ + ": Transaction is active");
  transaction_ = TFbTransaction::Start(database_.Attachment());
}

void TTransaction::CommitRetaining() { Handle().CommitRetaining(); }
void TTransaction::Commit() { Handle().Commit(); }
void TTransaction::Rollback() { Handle().Rollback(); }

TFbTransaction& TTransaction::Handle() {
  if (!Active()) throw EDatabaseError(name_ + ": Transaction is not active");
  return transaction_;
}

// ---- TUpdateSQL ----

TUpdateSQL::TUpdateSQL(std::string name, TDatabase& database, TTransaction& transaction, std::string modifySql)
    : name_(std::move(name)),
      database_(database),
      transaction_(transaction),
      modifySql_(std::move(modifySql)),
      parameters_(ParseNamedParameters(modifySql_)) {}

std::int64_t TUpdateSQL::ExecModify(const std::vector<TSqlValue>& values) {
  if (!statement_.Prepared()) {
    statement_ = TFbStatement::Prepare(database_.Attachment(), transaction_.Handle(), parameters_.Sql,
                                       database_.SqlDialect());
  }
  statement_.Execute(transaction_.Handle(), values);
  return statement_.RowsChanged();
}

// ---- TQuery ----

TQuery::TQuery(std::string name, TDatabase& database, TTransaction& transaction, std::string selectSql,
               std::span<const TColumnDef> columns, TUpdateSQL& updateObject)
    : name_(std::move(name)),
      database_(database),
      transaction_(transaction),
      selectSql_(std::move(selectSql)),
      columns_(columns),
      updateObject_(updateObject) {}

void TQuery::Fail(std::string_view text) const { throw EDatabaseError(name_ + ": " + std::string(text)); }

void TQuery::CheckOpen() const {
  if (!IsOpen()) Fail("Cannot perform this operation on a closed dataset");
}

std::size_t TQuery::ColumnIndex(std::string_view column) const {
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (SameName(columns_[i].Name, column)) return i;
  }
  Fail("Field '" + std::string(column) + "' not found");
}

void TQuery::ClearCopy() {
  fetchedCells_.clear();
  fetchedText_.clear();
  rowBlocks_.clear();
  editedCells_.clear();
  editedText_.clear();
  changed_.clear();
}

void TQuery::Open() {
  if (IsOpen()) return;
  database_.Connect();
  if (!transaction_.Active()) transaction_.StartTransaction();

  TFbStatement select =
      TFbStatement::Prepare(database_.Attachment(), transaction_.Handle(), selectSql_, database_.SqlDialect());
  std::vector<TFieldInfo> fields;
  for (const TColumnDef& column : columns_) {
    int found = -1;
    for (int i = 0; i < select.ColumnCount() && found < 0; ++i) {
      if (SameName(select.Column(i).Name, column.Name)) found = i;
    }
    if (found < 0) Fail("Field '" + std::string(column.Name) + "' not found");
    const TFbColumn described = select.Column(found);
    // Each listed column comes over as its listed kind; the server converts.
    TFieldInfo field{found, 0, false, CharacterSetNone};
    if (column.Type == TColumnType::Integer) {
      select.ReceiveAsInteger(found);
    } else if (described.SqlType == SQL_TEXT || described.SqlType == SQL_VARYING) {
      // The listed sizes are characters; the client gives bytes.
      field.CharacterSet = CharacterSetOf(described.SubType);
      field.DeclaredLength = LengthInCharacters(described.Length, field.CharacterSet);
      field.FixedLength = described.SqlType == SQL_TEXT;
    } else {
      select.ReceiveAsText(found, static_cast<short>(column.Size));
      field.DeclaredLength = column.Size;
    }
    fields.push_back(field);
  }
  select.Execute(transaction_.Handle());

  select_ = std::move(select);
  fields_ = std::move(fields);
  ClearCopy();
  exhausted_ = false;
  editing_ = false;
  try {
    const bool any = FetchRow();
    current_ = any ? 0 : -1;
    eof_ = !any;
  } catch (...) {
    select_ = TFbStatement();
    fields_.clear();
    ClearCopy();
    current_ = -1;
    eof_ = true;
    throw;
  }
}

void TQuery::FailTooMuchText() const { Fail("Too much text for the local copy"); }

bool TQuery::FetchRow() {
  if (exhausted_) return false;
  if (!select_.Fetch()) {
    exhausted_ = true;
    return false;
  }
  const std::size_t columnCount = fields_.size();
  const std::size_t firstCell = fetchedCells_.size();
  const std::size_t textSize = fetchedText_.size();
  try {
    for (std::size_t column = 0; column < columnCount; ++column) {
      const TSqlValue value = select_.Value(fields_[column].ResultIndex);
      TCell cell;
      if (const auto* number = std::get_if<std::int32_t>(&value)) {
        cell = TCell::Make(TCellKind::Integer, static_cast<std::uint32_t>(*number));
      } else if (const auto* text = std::get_if<std::string>(&value)) {
        // Paths, flags and "00:00" mostly repeat the row above: those bytes are kept once.
        const TCell* above = firstCell > 0 ? &fetchedCells_[firstCell - columnCount + column] : nullptr;
        if (above != nullptr && above->Kind() == TCellKind::FetchedText && above->Length() == text->size() &&
            fetchedText_.compare(above->Data, above->Length(), *text) == 0) {
          cell = *above;
        } else {
          if (text->size() > TCell::MaxLength || fetchedText_.size() > UINT32_MAX - text->size()) FailTooMuchText();
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
  return true;
}

void TQuery::FetchAll() {
  CheckOpen();
  while (FetchRow()) {
  }
}

void TQuery::First() {
  CheckOpen();
  if (editing_) Post();
  current_ = rowBlocks_.empty() ? -1 : 0;
  eof_ = rowBlocks_.empty();
}

void TQuery::Next() {
  CheckOpen();
  if (editing_) Post();
  if (current_ + 1 < RecordCount() || FetchRow()) {
    ++current_;
    eof_ = false;
  } else {
    eof_ = true;
  }
}

TQuery::TValueRef TQuery::CellValue(const TCell& cell, const std::string& store) const {
  switch (cell.Kind()) {
    case TCellKind::Integer:
      return {TCellKind::Integer, static_cast<std::int32_t>(cell.Data), {}};
    case TCellKind::FetchedText:
    case TCellKind::EditedText:
      return {cell.Kind(), 0, std::string_view(store).substr(cell.Data, cell.Length())};
    case TCellKind::Null:
      break;
  }
  return {};
}

TQuery::TValueRef TQuery::FetchedValue(std::size_t row, std::size_t column) const {
  return CellValue(fetchedCells_[row * columns_.size() + column], fetchedText_);
}

TQuery::TValueRef TQuery::CurrentValue(std::size_t row, std::size_t column) const {
  const std::uint32_t block = rowBlocks_[row];
  if (block == NoBlock) return FetchedValue(row, column);
  const TCell& cell = editedCells_[block * columns_.size() + column];
  return CellValue(cell, cell.Kind() == TCellKind::EditedText ? editedText_[block] : fetchedText_);
}

std::optional<TQuery::TValueRef> TQuery::ShownValue(std::size_t column) const {
  if (editing_ && editRow_[column].has_value()) {
    const TSqlValue& value = *editRow_[column];
    if (const auto* number = std::get_if<std::int32_t>(&value)) return TValueRef{TCellKind::Integer, *number, {}};
    if (const auto* text = std::get_if<std::string>(&value)) return TValueRef{TCellKind::EditedText, 0, *text};
    return TValueRef{};
  }
  if (current_ < 0 || !IsOpen()) return std::nullopt;
  return CurrentValue(static_cast<std::size_t>(current_), column);
}

void TQuery::CheckSize(std::size_t column) const {
  const TColumnDef& def = columns_[column];
  if (def.Type == TColumnType::Text && IsOpen() && fields_[column].DeclaredLength > def.Size) {
    throw EDatabaseError(SizeMismatchText(def.Name));
  }
}

std::string TQuery::FieldAsString(std::string_view column) const {
  const std::size_t index = ColumnIndex(column);
  CheckSize(index);
  const std::optional<TValueRef> value = ShownValue(index);
  if (!value.has_value() || value->Kind == TCellKind::Null) return {};
  if (value->Kind == TCellKind::Integer) return std::to_string(value->Number);
  std::string_view text = value->Text;
  if (fields_[index].FixedLength) {
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 0x20) text.remove_suffix(1);
  }
  return std::string(text);
}

bool TQuery::FieldIsNull(std::string_view column) const {
  const std::optional<TValueRef> value = ShownValue(ColumnIndex(column));
  return !value.has_value() || value->Kind == TCellKind::Null;
}

void TQuery::Edit() {
  CheckOpen();
  if (editing_) return;
  if (current_ < 0) Fail("Cannot perform this operation on an empty dataset");
  editRow_.assign(columns_.size(), std::nullopt);
  editing_ = true;
}

std::optional<TSqlValue>& TQuery::EditValue(std::string_view column, std::size_t& index) {
  index = ColumnIndex(column);
  if (!editing_) Fail("Dataset not in edit or insert mode");
  return editRow_[index];
}

void TQuery::SetInteger(std::string_view column, std::int32_t value) {
  std::size_t index = 0;
  std::optional<TSqlValue>& target = EditValue(column, index);
  const TColumnDef& def = columns_[index];
  if (def.Type == TColumnType::Integer) {
    target = value;
  } else {
    std::string text = std::to_string(value);
    text.resize(std::min<std::size_t>(text.size(), static_cast<std::size_t>(def.Size)));
    target = std::move(text);
  }
}

void TQuery::SetString(std::string_view column, std::string_view value) {
  std::size_t index = 0;
  std::optional<TSqlValue>& target = EditValue(column, index);
  const TColumnDef& def = columns_[index];
  if (def.Type == TColumnType::Text) {
    target = std::string(FirstCharacters(value, static_cast<std::size_t>(def.Size), fields_[index].CharacterSet));
    return;
  }
  if (value.empty()) {
    target.emplace();  // null
    return;
  }
  std::int32_t number = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (error != std::errc() || end != value.data() + value.size()) {
    throw EDatabaseError("'" + std::string(value) + "' is not a valid integer value");
  }
  target = number;
}

// Puts the values set since Edit into the row's block of current cells,
// made from its fetched cells at the first edit. The block's texts are
// rebuilt each time, so a text set again leaves nothing behind.
void TQuery::StoreEdit(std::size_t row) {
  const std::size_t columnCount = columns_.size();
  const std::uint32_t block = rowBlocks_[row];
  const TCell* from = block == NoBlock ? fetchedCells_.data() + row * columnCount
                                       : editedCells_.data() + block * columnCount;
  std::vector<TCell> cells(from, from + columnCount);
  std::string text;
  const std::string* oldText = block == NoBlock ? nullptr : &editedText_[block];
  auto keep = [&](std::string_view bytes) {
    if (bytes.size() > TCell::MaxLength || text.size() > UINT32_MAX - bytes.size()) FailTooMuchText();
    const TCell cell = TCell::Make(TCellKind::EditedText, static_cast<std::uint32_t>(text.size()),
                                   static_cast<std::uint32_t>(bytes.size()));
    text += bytes;
    return cell;
  };
  for (std::size_t column = 0; column < columnCount; ++column) {
    TCell& cell = cells[column];
    if (const std::optional<TSqlValue>& set = editRow_[column]; set.has_value()) {
      if (const auto* number = std::get_if<std::int32_t>(&*set)) {
        cell = TCell::Make(TCellKind::Integer, static_cast<std::uint32_t>(*number));
      } else if (const auto* setText = std::get_if<std::string>(&*set)) {
        cell = keep(*setText);
      } else {
        cell = TCell::Make(TCellKind::Null);
      }
    } else if (cell.Kind() == TCellKind::EditedText) {
      cell = keep(CellValue(cell, *oldText).Text);
    }
  }
  // Nothing of the copy changes before this point.
  if (block == NoBlock) {
    if (editedText_.size() >= NoBlock) FailTooMuchText();
    editedCells_.insert(editedCells_.end(), cells.begin(), cells.end());
    try {
      editedText_.push_back(std::move(text));
    } catch (...) {
      editedCells_.resize(editedCells_.size() - columnCount);
      throw;
    }
    rowBlocks_[row] = static_cast<std::uint32_t>(editedText_.size() - 1);
  } else {
    std::copy(cells.begin(), cells.end(), editedCells_.begin() + static_cast<std::ptrdiff_t>(block * columnCount));
    editedText_[block] = std::move(text);
  }
}

void TQuery::Post() {
  CheckOpen();
  if (!editing_) return;
  const auto row = static_cast<std::size_t>(current_);
  if (std::any_of(editRow_.begin(), editRow_.end(), [](const auto& set) { return set.has_value(); })) StoreEdit(row);
  changed_.insert(row);
  editRow_.clear();
  editing_ = false;
}

void TQuery::Cancel() {
  editRow_.clear();
  editing_ = false;
}

TSqlValue TQuery::ParameterValue(std::size_t row, std::string_view name) const {
  const bool old = name.size() > OldPrefix.size() && SameName(name.substr(0, OldPrefix.size()), OldPrefix);
  const std::string_view column = old ? name.substr(OldPrefix.size()) : name;
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (!SameName(columns_[i].Name, column)) continue;
    const TValueRef value = old ? FetchedValue(row, i) : CurrentValue(row, i);
    switch (value.Kind) {
      case TCellKind::Integer:
        return value.Number;
      case TCellKind::FetchedText:
      case TCellKind::EditedText:
        return std::string(value.Text);
      case TCellKind::Null:
        break;
    }
    return {};
  }
  return {};  // a parameter the query has no column for stays null
}

void TQuery::ApplyUpdates() {
  CheckOpen();
  Post();
  // The rows are visited without moving the current row, so the edited row
  // is current again afterwards, failure or not. A row that fails stays in
  // the set, and so does every changed row after it.
  for (auto row = changed_.begin(); row != changed_.end();) {
    // Writing a row reads every listed column, so a column that is too
    // narrow for what the database declares stops every write.
    for (std::size_t i = 0; i < columns_.size(); ++i) CheckSize(i);
    std::vector<TSqlValue> values;
    for (const std::string& name : updateObject_.ParameterNames()) values.push_back(ParameterValue(*row, name));
    if (updateObject_.ExecModify(values) != 1) throw EDatabaseError("Update Failed");
    row = changed_.erase(row);
  }
}

bool TQuery::RowChanged(int row) const {
  const auto index = static_cast<std::size_t>(row);
  static_cast<void>(rowBlocks_.at(index));  // the copy's range check
  return changed_.contains(index);
}
