#include "catalogue/DataSet.h"

#include "catalogue/AsciiText.h"
#include "catalogue/CharacterSets.h"

#include <algorithm>
#include <charconv>
#include <chrono>

namespace {

constexpr std::string_view OldPrefix = "OLD_";

// A fixed-length text is padded with blanks; they and the control characters
// below them are dropped from its end when it is read.
constexpr unsigned char LastPaddingByte = ' ';

std::string SizeMismatchText(std::string_view column) {
  return "Size Mismatch - Field " + std::string(column) + " size is too small for data";
}

}  // namespace

// ---- TDatabase ----

std::string NoAnswerText(int seconds) { return "O servidor não respondeu em " + std::to_string(seconds) + " s"; }

TDatabase::TDatabase(std::string name, std::string databaseName)
    : name_(std::move(name)), databaseName_(std::move(databaseName)) {
  watchdog_.SetLimit(DefaultCallLimitSeconds);
}

TDatabase::~TDatabase() {
  TFbWatchdog::TArmed armed(watchdog_);
  attachment_ = TFbAttachment();
  watchdog_.Unwatch();
}

void TDatabase::SetCallLimit(int seconds) { watchdog_.SetLimit(seconds); }

void TDatabase::Connect() {
  if (Connected()) {
    // A server restarted or an attachment ended by an administrator since
    // the last call shows only now; the attachment is then made anew.
    try {
      Call([&] { attachment_.Ping(); });
      return;
    } catch (const EDatabaseError& error) {
      if (!error.ConnectionLost()) throw;
    }
  }
  Attach();
}

void TDatabase::Attach() {
  if (databaseName_.empty()) throw EDatabaseError("Database name is missing");
  // A server that takes the connection but never answers (paused, or
  // swapping) is given up after the limit, by the client's connect timeout,
  // or at once on a stop (the watchdog leaves the attach behind).
  const int limit = CallLimit();
  const auto started = std::chrono::steady_clock::now();
  try {
    attachment_ = watchdog_.Attach(databaseName_, FbBlocks::AttachBlock(FbBlocks::UserName, FbBlocks::Password, limit));
  } catch (const EDatabaseError& error) {
    if (limit > 0 && error.ErrorCode() == isc_connect_reject &&
        std::chrono::steady_clock::now() - started >= std::chrono::seconds(limit)) {
      throw EDatabaseError(NoAnswerText(limit), error.ErrorCode(), true);
    }
    throw;
  }
  watchdog_.Watch(*attachment_.Handle());
  int dialect = FirstDialect;
  try {
    dialect = Call([&] { return attachment_.DatabaseDialect(); });
  } catch (...) {
    DropConnection();  // a failed attempt leaves the connection closed
    throw;
  }
  // Statements use the lower of the database's dialect and 1.
  sqlDialect_ = static_cast<unsigned short>(std::clamp<int>(dialect, FirstDialect, StatementDialect));
  databaseDialect_ = dialect;
}

void TDatabase::Close() {
  attachment_.Detach();
  watchdog_.Unwatch();
}

void TDatabase::DropConnection() noexcept {
  watchdog_.Unwatch();
  attachment_.Abort();
  // Statements before the transaction they ran in, the transaction before
  // the attachment: the order in which the client releases them.
  for (auto user = users_.rbegin(); user != users_.rend(); ++user) (*user)->ConnectionDropped();
  attachment_ = TFbAttachment();
}

void TDatabase::AddUser(TConnectionUser& user) { users_.push_back(&user); }

void TDatabase::RemoveUser(TConnectionUser& user) noexcept { std::erase(users_, &user); }

TFbAttachment& TDatabase::Attachment() {
  if (!Connected()) throw EDatabaseError(name_ + ": Database not connected");
  return attachment_;
}

// ---- TTransaction ----

TTransaction::TTransaction(std::string name, TDatabase& database) : name_(std::move(name)), database_(database) {
  database_.AddUser(*this);
}

TTransaction::~TTransaction() {
  database_.RemoveUser(*this);
  if (!transaction_.Active()) return;
  try {
    database_.Call([&] { transaction_.Commit(); });  // watched: a stalled server does not hold the end
  } catch (...) {
    // Nothing can be reported from here; the handle rolls back what is left.
  }
}

void TTransaction::ConnectionDropped() noexcept { transaction_ = TFbTransaction(); }

void TTransaction::StartTransaction() {
  if (Active()) throw EDatabaseError(name_ + ": Transaction is active");
  transaction_ = database_.Call([&] { return TFbTransaction::Start(database_.Attachment()); });
}

void TTransaction::CommitRetaining() {
  database_.Call([&] { Handle().CommitRetaining(); });
}
void TTransaction::RollbackRetaining() {
  database_.Call([&] { Handle().RollbackRetaining(); });
}
void TTransaction::Commit() {
  database_.Call([&] { Handle().Commit(); });
}
void TTransaction::Rollback() {
  database_.Call([&] { Handle().Rollback(); });
}

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
      parameters_(ParseNamedParameters(modifySql_)) {
  database_.AddUser(*this);
}

TUpdateSQL::~TUpdateSQL() { database_.RemoveUser(*this); }

void TUpdateSQL::ConnectionDropped() noexcept { statement_ = TFbStatement(); }

std::int64_t TUpdateSQL::ExecModify(const std::vector<TSqlValue>& values) {
  return database_.Call([&] {
    if (!statement_.Prepared()) {
      statement_ = TFbStatement::Prepare(database_.Attachment(), transaction_.Handle(), parameters_.Sql,
                                         database_.SqlDialect());
    }
    statement_.Execute(transaction_.Handle(), values);
    return statement_.RowsChanged();
  });
}

// ---- TQuery ----

TQuery::TQuery(std::string name, TDatabase& database, TTransaction& transaction, std::string selectSql,
               std::span<const TColumnDef> columns, TUpdateSQL& updateObject)
    : name_(std::move(name)),
      database_(database),
      transaction_(transaction),
      selectSql_(std::move(selectSql)),
      columns_(columns),
      updateObject_(updateObject),
      rows_(columns.size()) {
  database_.AddUser(*this);
}

TQuery::~TQuery() { database_.RemoveUser(*this); }

void TQuery::ConnectionDropped() noexcept { Close(); }

void TQuery::Close() noexcept {
  select_ = TFbStatement();
  fields_.clear();
  rows_.Clear();
  exhausted_ = false;
  current_ = -1;
  eof_ = true;
  Cancel();
}

void TQuery::Fail(std::string_view text) const { throw EDatabaseError(name_ + ": " + std::string(text)); }

void TQuery::CheckOpen() const {
  if (!IsOpen()) Fail("Cannot perform this operation on a closed dataset");
}

std::size_t TQuery::ColumnIndex(std::string_view column) const {
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (SameAsciiText(columns_[i].Name, column)) return i;
  }
  Fail("Field '" + std::string(column) + "' not found");
}

void TQuery::Open() {
  if (IsOpen()) return;
  database_.Connect();
  if (!transaction_.Active()) transaction_.StartTransaction();

  TFbStatement select = database_.Call(
      [&] { return TFbStatement::Prepare(database_.Attachment(), transaction_.Handle(), selectSql_, database_.SqlDialect()); });
  std::vector<TFieldInfo> fields;
  for (const TColumnDef& column : columns_) {
    int found = -1;
    for (int i = 0; i < select.ColumnCount() && found < 0; ++i) {
      if (SameAsciiText(select.Column(i).Name, column.Name)) found = i;
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
  database_.Call([&] { select.Execute(transaction_.Handle()); });

  select_ = std::move(select);
  fields_ = std::move(fields);
  rows_.Clear();
  exhausted_ = false;
  editing_ = false;
  try {
    const bool any = FetchRow();
    current_ = any ? 0 : -1;
    eof_ = !any;
  } catch (...) {
    Close();
    throw;
  }
}

bool TQuery::FetchRow() {
  if (exhausted_) return false;
  if (!database_.Call([&] { return select_.Fetch(); })) {
    exhausted_ = true;
    return false;
  }
  std::vector<TSqlValue> values;
  values.reserve(fields_.size());
  for (const TFieldInfo& field : fields_) values.push_back(select_.Value(field.ResultIndex));
  try {
    rows_.AppendRow(values);
  } catch (const ERowStoreFull& full) {
    Fail(full.what());
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
  current_ = rows_.RowCount() == 0 ? -1 : 0;
  eof_ = rows_.RowCount() == 0;
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

std::optional<TValueRef> TQuery::ShownValue(std::size_t column) const {
  if (editing_ && editRow_[column].has_value()) return ToValueRef(*editRow_[column]);
  if (current_ < 0 || !IsOpen()) return std::nullopt;
  return rows_.Current(static_cast<std::size_t>(current_), column);
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
  return ValueAsString(index, ShownValue(index));
}

std::string TQuery::FieldAsString(int row, std::string_view column) const {
  const std::size_t index = ColumnIndex(column);
  CheckSize(index);
  if (row < 0 || row >= RecordCount()) return {};
  return ValueAsString(index, rows_.Current(static_cast<std::size_t>(row), index));
}

std::string TQuery::ValueAsString(std::size_t column, const std::optional<TValueRef>& value) const {
  if (!value.has_value()) return {};
  if (const auto* number = std::get_if<std::int32_t>(&*value)) return std::to_string(*number);
  const auto* stored = std::get_if<std::string_view>(&*value);
  if (stored == nullptr) return {};  // null
  std::string_view text = *stored;
  if (fields_[column].FixedLength) {
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= LastPaddingByte) text.remove_suffix(1);
  }
  return std::string(text);
}

bool TQuery::FieldIsNull(std::string_view column) const {
  const std::optional<TValueRef> value = ShownValue(ColumnIndex(column));
  return !value.has_value() || std::holds_alternative<std::monostate>(*value);
}

std::int32_t TQuery::FieldAsInteger(std::string_view column) const {
  const std::optional<TValueRef> value = ShownValue(ColumnIndex(column));
  if (!value.has_value()) return 0;
  const auto* number = std::get_if<std::int32_t>(&*value);
  return number != nullptr ? *number : 0;
}

int TQuery::FieldCharacterSet(std::string_view column) const {
  const std::size_t index = ColumnIndex(column);
  return IsOpen() ? fields_[index].CharacterSet : CharacterSetNone;
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

void TQuery::Post() {
  CheckOpen();
  if (!editing_) return;
  const auto row = static_cast<std::size_t>(current_);
  try {
    rows_.StoreEdit(row, editRow_);
  } catch (const ERowStoreFull& full) {
    Fail(full.what());
  }
  rows_.MarkChanged(row);
  editRow_.clear();
  editing_ = false;
}

void TQuery::Cancel() {
  editRow_.clear();
  editing_ = false;
}

TSqlValue TQuery::ParameterValue(std::size_t row, std::string_view name) const {
  const bool old = name.size() > OldPrefix.size() && SameAsciiText(name.substr(0, OldPrefix.size()), OldPrefix);
  const std::string_view column = old ? name.substr(OldPrefix.size()) : name;
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (SameAsciiText(columns_[i].Name, column)) return ToSqlValue(old ? rows_.Fetched(row, i) : rows_.Current(row, i));
  }
  return {};  // a parameter the query has no column for stays null
}

void TQuery::ApplyUpdates() {
  CheckOpen();
  Post();
  // The rows are visited without moving the current row, so the edited row
  // is current again afterwards, failure or not.
  std::vector<std::size_t> written;
  while (!rows_.ChangedRows().empty()) {
    const std::size_t row = *rows_.ChangedRows().begin();
    try {
      // Writing a row reads every listed column, so a column that is too
      // narrow for what the database declares stops every write.
      for (std::size_t i = 0; i < columns_.size(); ++i) CheckSize(i);
      std::vector<TSqlValue> values;
      for (const std::string& name : updateObject_.ParameterNames()) values.push_back(ParameterValue(row, name));
      // No row: it is gone, or no longer what was fetched (the modify
      // statement says what must still hold).
      if (updateObject_.ExecModify(values) != 1) throw EUpdateFailed();
    } catch (...) {
      UndoWrite(row, written);
      throw;
    }
    rows_.MarkUnchanged(row);
    written.push_back(row);
  }
}

void TQuery::UndoWrite(std::size_t failedRow, const std::vector<std::size_t>& written) {
  // An update executed and not committed keeps its row locked against every
  // other program until this transaction ends; a window left idle after a
  // failed run would hold it for good. A lost connection has taken it all.
  if (transaction_.Active()) {
    try {
      transaction_.RollbackRetaining();
    } catch (const std::exception&) {
      // The failure being reported matters more; a lost connection was dropped by the call.
    }
  }
  if (!IsOpen()) return;
  rows_.DropEdit(failedRow);
  rows_.MarkUnchanged(failedRow);
  for (const std::size_t row : written) rows_.MarkChanged(row);
}

bool TQuery::RowChanged(int row) const { return rows_.Changed(static_cast<std::size_t>(row)); }
