#include "catalogue/FbClient.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <type_traits>
#include <utility>

namespace {

// Codes of the client's calls that ibase.h leaves unnamed.
constexpr unsigned short NulTerminated = 0;  // as a text's length: the text ends at its NUL byte
constexpr short OneDatabase = 1;             // isc_start_transaction: the number of attachments given
constexpr ISC_STATUS EndOfCursor = 100;      // isc_dsql_fetch: no more rows
constexpr ISC_SHORT NullableBit = 1;         // the low bit of sqltype: the variable has a null indicator
constexpr ISC_SHORT NullIndicator = -1;      // *sqlind of a null value
constexpr ISC_SHORT ValueIndicator = 0;      // *sqlind of a value

// An information answer is a list of items: code byte, 2-byte length, value.
constexpr std::size_t InfoLengthSize = 2;
constexpr std::size_t InfoItemHeaderSize = 1 + InfoLengthSize;
constexpr std::size_t MaxInfoValueSize = 4;  // isc_vax_integer reads at most 4 bytes

// An XSQLVAR type without, and with, its nullable bit.
ISC_SHORT BaseType(ISC_SHORT sqlType) { return static_cast<ISC_SHORT>(sqlType & ~NullableBit); }
ISC_SHORT Nullable(ISC_SHORT sqlType) { return static_cast<ISC_SHORT>(sqlType | NullableBit); }

// The codes after which an attachment is of no further use.
constexpr ISC_STATUS LostConnectionCodes[] = {
    isc_network_error,        // the server cannot be reached
    isc_net_read_err,         // the connection broke while reading (server killed)
    isc_net_write_err,        // ... or while writing
    isc_lost_db_connection,   // the client knows the connection is gone
    isc_conn_lost,
    isc_att_shutdown,         // the attachment was ended (by an administrator, a server shutdown)
    isc_shutdown,             // the database was shut down
    isc_net_server_shutdown,  // the server is shutting down
    isc_bad_db_handle,        // the client no longer knows the attachment
};

// Throws the client's error when the status vector holds one.
void Check(const ISC_STATUS* status) {
  if (status[0] == isc_arg_gds && status[1] != 0) {
    throw EDatabaseError(StatusText(status), status[1], ConnectionLost(status));
  }
}

std::size_t InfoLength(const char* at) {
  return static_cast<std::size_t>(isc_vax_integer(at, static_cast<short>(InfoLengthSize)));
}

// Reads an item of an information answer; false when it does not fit in the answer.
bool ReadInfoItem(const char* answer, std::size_t size, std::size_t& pos, unsigned char& code, long& value) {
  if (pos + InfoItemHeaderSize > size) return false;
  code = static_cast<unsigned char>(answer[pos]);
  const std::size_t length = InfoLength(answer + pos + 1);
  if (length > MaxInfoValueSize || pos + InfoItemHeaderSize + length > size) return false;
  value = length > 0 ? isc_vax_integer(answer + pos + InfoItemHeaderSize, static_cast<short>(length)) : 0;
  pos += InfoItemHeaderSize + length;
  return true;
}

short TextLength(std::size_t size) {
  return static_cast<short>(std::min<std::size_t>(size, std::numeric_limits<short>::max()));
}

bool IsNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$'; }

}  // namespace

std::string StatusText(const ISC_STATUS* status) {
  std::string text;
  char message[1024];
  const ISC_STATUS* cursor = status;
  while (fb_interpret(message, sizeof message, &cursor) > 0) {
    if (!text.empty()) text += '\n';
    text += message;
  }
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

bool ConnectionLost(const ISC_STATUS* status) {
  // A status vector is a list of (kind, value) pairs up to isc_arg_end; a
  // counted string takes one slot more, its length before its address.
  constexpr std::size_t MaxSlots = ISC_STATUS_LENGTH;
  std::size_t i = 0;
  while (i + 1 < MaxSlots && status[i] != isc_arg_end) {
    if (status[i] == isc_arg_gds &&
        std::find(std::begin(LostConnectionCodes), std::end(LostConnectionCodes), status[i + 1]) !=
            std::end(LostConnectionCodes)) {
      return true;
    }
    i += status[i] == isc_arg_cstring ? 3 : 2;
  }
  return false;
}

// ---- Parameter blocks ----

namespace FbBlocks {

namespace {
constexpr std::size_t MaxItemLength = 255;  // one length byte

void AppendItem(std::string& block, char code, std::string_view value) {
  const std::size_t length = std::min<std::size_t>(value.size(), MaxItemLength);
  block += code;
  block += static_cast<char>(length);
  block.append(value.substr(0, length));
}
}  // namespace

std::string AttachBlock(std::string_view userName, std::string_view password, int connectTimeoutSeconds) {
  std::string block(1, static_cast<char>(isc_dpb_version1));
  AppendItem(block, isc_dpb_user_name, userName);
  AppendItem(block, isc_dpb_password, password);
  if (connectTimeoutSeconds > 0) {
    const auto value = static_cast<std::uint32_t>(connectTimeoutSeconds);
    const char bytes[] = {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
                          static_cast<char>((value >> 16) & 0xFF), static_cast<char>((value >> 24) & 0xFF)};
    AppendItem(block, isc_dpb_connect_timeout, std::string_view(bytes, sizeof bytes));
  }
  return block;
}

std::string TransactionBlock() {
  return {static_cast<char>(isc_tpb_version3), static_cast<char>(isc_tpb_read_committed),
          static_cast<char>(isc_tpb_rec_version), static_cast<char>(isc_tpb_nowait)};
}

}  // namespace FbBlocks

// ---- Handles ----

namespace FbRelease {

void Detach(isc_db_handle& handle) noexcept {
  ISC_STATUS_ARRAY status;
  isc_detach_database(status, &handle);
}

void Rollback(isc_tr_handle& handle) noexcept {
  ISC_STATUS_ARRAY status;
  isc_rollback_transaction(status, &handle);
}

void DropStatement(isc_stmt_handle& handle) noexcept {
  ISC_STATUS_ARRAY status;
  isc_dsql_free_statement(status, &handle, DSQL_drop);
}

}  // namespace FbRelease

static_assert(std::is_nothrow_move_constructible_v<TFbAttachment> && std::is_nothrow_move_assignable_v<TFbAttachment>);
static_assert(std::is_nothrow_move_constructible_v<TFbTransaction> && std::is_nothrow_move_assignable_v<TFbTransaction>);
static_assert(std::is_nothrow_move_constructible_v<TFbStatement> && std::is_nothrow_move_assignable_v<TFbStatement>);
static_assert(!std::is_copy_constructible_v<TFbStatement> && !std::is_copy_assignable_v<TFbStatement>);

// ---- Attachment ----

TFbAttachment TFbAttachment::Attach(const std::string& databaseName, const std::string& attachBlock) {
  TFbAttachment attachment;
  ISC_STATUS_ARRAY status;
  isc_attach_database(status, NulTerminated, databaseName.c_str(), attachment.Handle(),
                      static_cast<short>(attachBlock.size()), attachBlock.data());
  Check(status);
  return attachment;
}

int TFbAttachment::DatabaseDialect() {
  const char items[] = {isc_info_db_sql_dialect, isc_info_end};
  char answer[32] = {};
  ISC_STATUS_ARRAY status;
  isc_database_info(status, handle_.Address(), sizeof items, items, sizeof answer, answer);
  Check(status);
  std::size_t pos = 0;
  unsigned char code = 0;
  long value = 0;
  while (ReadInfoItem(answer, sizeof answer, pos, code, value)) {
    if (code == isc_info_db_sql_dialect) return static_cast<int>(value);
  }
  return FirstDialect;  // a database older than dialects
}

void TFbAttachment::Ping() {
  ISC_STATUS_ARRAY status;
  fb_ping(status, handle_.Address());
  Check(status);
}

void TFbAttachment::Abort() noexcept {
  if (!handle_.Held()) return;
  ISC_STATUS_ARRAY status;
  fb_cancel_operation(status, handle_.Address(), fb_cancel_abort);
}

void TFbAttachment::Detach() {
  if (!handle_.Held()) return;
  ISC_STATUS_ARRAY status;
  isc_detach_database(status, handle_.Address());
  Check(status);
  handle_.Forget();
}

// ---- Transaction ----

TFbTransaction TFbTransaction::Start(TFbAttachment& attachment, const std::string& transactionBlock) {
  TFbTransaction transaction;
  ISC_STATUS_ARRAY status;
  isc_start_transaction(status, transaction.Handle(), OneDatabase, attachment.Handle(),
                        static_cast<unsigned short>(transactionBlock.size()), transactionBlock.data());
  Check(status);
  return transaction;
}

void TFbTransaction::CommitRetaining() {
  ISC_STATUS_ARRAY status;
  isc_commit_retaining(status, handle_.Address());
  Check(status);
}

void TFbTransaction::RollbackRetaining() {
  ISC_STATUS_ARRAY status;
  isc_rollback_retaining(status, handle_.Address());
  Check(status);
}

void TFbTransaction::Commit() {
  ISC_STATUS_ARRAY status;
  isc_commit_transaction(status, handle_.Address());
  Check(status);
  handle_.Forget();
}

void TFbTransaction::Rollback() {
  ISC_STATUS_ARRAY status;
  isc_rollback_transaction(status, handle_.Address());
  Check(status);
  handle_.Forget();
}

// ---- Descriptor ----

void TSqlDescriptor::TFree::operator()(XSQLDA* area) const { std::free(area); }

TSqlDescriptor::TSqlDescriptor(int capacity) {
  capacity = std::max(capacity, 1);
  area_.reset(static_cast<XSQLDA*>(std::calloc(1, XSQLDA_LENGTH(capacity))));
  if (!area_) throw std::bad_alloc();
  area_->version = SQLDA_VERSION1;
  area_->sqln = static_cast<ISC_SHORT>(capacity);
}

void TSqlDescriptor::AllocateBuffers() {
  constexpr std::size_t StorageUnit = sizeof(decltype(storage_)::value_type);  // offsets count these
  const int count = std::min(Count(), Capacity());
  std::vector<std::size_t> offsets(static_cast<std::size_t>(count));
  std::size_t total = 0;
  for (int i = 0; i < count; ++i) {
    const XSQLVAR& var = Var(i);
    std::size_t size = static_cast<std::size_t>(std::max<ISC_SHORT>(var.sqllen, 0));
    if (BaseType(var.sqltype) == SQL_VARYING) size += sizeof(ISC_USHORT);
    offsets[static_cast<std::size_t>(i)] = total;
    total += (std::max<std::size_t>(size, 1) + StorageUnit - 1) / StorageUnit;
  }
  storage_.assign(std::max<std::size_t>(total, 1), 0);
  nullFlags_.assign(static_cast<std::size_t>(count), 0);
  for (int i = 0; i < count; ++i) {
    Var(i).sqldata = reinterpret_cast<ISC_SCHAR*>(storage_.data() + offsets[static_cast<std::size_t>(i)]);
    Var(i).sqlind = &nullFlags_[static_cast<std::size_t>(i)];
  }
}

// ---- Statement ----

TFbStatement TFbStatement::Prepare(TFbAttachment& attachment, TFbTransaction& transaction, const std::string& sql,
                                   unsigned short dialect) {
  TFbStatement statement;
  ISC_STATUS_ARRAY status;
  isc_dsql_allocate_statement(status, attachment.Handle(), statement.handle_.Address());
  Check(status);
  isc_dsql_prepare(status, transaction.Handle(), statement.handle_.Address(), NulTerminated, sql.c_str(), dialect,
                   statement.output_.Get());
  Check(status);
  if (statement.output_.Count() > statement.output_.Capacity()) {
    statement.output_ = TSqlDescriptor(statement.output_.Count());
    isc_dsql_describe(status, statement.handle_.Address(), SQLDA_VERSION1, statement.output_.Get());
    Check(status);
  }
  isc_dsql_describe_bind(status, statement.handle_.Address(), SQLDA_VERSION1, statement.input_.Get());
  Check(status);
  if (statement.input_.Count() > statement.input_.Capacity()) {
    statement.input_ = TSqlDescriptor(statement.input_.Count());
    isc_dsql_describe_bind(status, statement.handle_.Address(), SQLDA_VERSION1, statement.input_.Get());
    Check(status);
  }
  for (int i = 0; i < statement.input_.Count(); ++i) {
    const XSQLVAR& var = statement.input_.Var(i);
    statement.inputTypes_.push_back({var.sqltype, var.sqlscale, var.sqlsubtype, var.sqllen});
  }
  return statement;
}

TFbColumn TFbStatement::Column(int index) const {
  const XSQLVAR& var = output_.Var(index);
  constexpr auto MaxAliasLength = static_cast<ISC_SHORT>(sizeof var.aliasname - 1);
  const auto aliasLength = static_cast<std::size_t>(std::clamp<ISC_SHORT>(var.aliasname_length, 0, MaxAliasLength));
  return {std::string(var.aliasname, aliasLength), BaseType(var.sqltype), var.sqllen, var.sqlsubtype};
}

void TFbStatement::ReceiveAsInteger(int index) {
  XSQLVAR& var = output_.Var(index);
  var.sqltype = static_cast<ISC_SHORT>(SQL_LONG | (var.sqltype & NullableBit));
  var.sqllen = sizeof(ISC_LONG);
  var.sqlscale = 0;
  var.sqlsubtype = 0;
}

void TFbStatement::ReceiveAsText(int index, short length) {
  XSQLVAR& var = output_.Var(index);
  const short type = BaseType(var.sqltype);
  if (type != SQL_TEXT && type != SQL_VARYING) var.sqlsubtype = 0;  // character set NONE
  var.sqltype = static_cast<ISC_SHORT>(SQL_VARYING | (var.sqltype & NullableBit));
  var.sqllen = length;
  var.sqlscale = 0;
}

void TFbStatement::Execute(TFbTransaction& transaction, const std::vector<TSqlValue>& parameters) {
  const int count = input_.Count();
  if (static_cast<int>(parameters.size()) != count) {
    throw EDatabaseError("Parameter count mismatch: " + std::to_string(count) + " expected, " +
                         std::to_string(parameters.size()) + " given");
  }
  // The client converts what it is given to the parameter's own type, so
  // integers go as SQL_LONG and texts as SQL_TEXT of their own length.
  for (int i = 0; i < count; ++i) {
    XSQLVAR& var = input_.Var(i);
    const TInputType& described = inputTypes_[static_cast<std::size_t>(i)];
    const TSqlValue& value = parameters[static_cast<std::size_t>(i)];
    if (std::holds_alternative<std::int32_t>(value)) {
      var.sqltype = Nullable(SQL_LONG);
      var.sqllen = sizeof(ISC_LONG);
      var.sqlscale = 0;
      var.sqlsubtype = 0;
    } else if (const auto* text = std::get_if<std::string>(&value)) {
      const short type = BaseType(described.SqlType);
      var.sqltype = Nullable(SQL_TEXT);
      var.sqllen = TextLength(text->size());
      var.sqlscale = 0;
      var.sqlsubtype = (type == SQL_TEXT || type == SQL_VARYING) ? described.SubType : 0;
    } else {
      var.sqltype = Nullable(described.SqlType);
      var.sqllen = described.Length;
      var.sqlscale = described.Scale;
      var.sqlsubtype = described.SubType;
    }
  }
  input_.AllocateBuffers();
  for (int i = 0; i < count; ++i) {
    XSQLVAR& var = input_.Var(i);
    const TSqlValue& value = parameters[static_cast<std::size_t>(i)];
    *var.sqlind = std::holds_alternative<std::monostate>(value) ? NullIndicator : ValueIndicator;
    if (const auto* integer = std::get_if<std::int32_t>(&value)) {
      const ISC_LONG number = *integer;
      std::memcpy(var.sqldata, &number, sizeof number);
    } else if (const auto* text = std::get_if<std::string>(&value)) {
      std::memcpy(var.sqldata, text->data(), static_cast<std::size_t>(var.sqllen));
    }
  }
  if (!buffersReady_) {
    output_.AllocateBuffers();
    buffersReady_ = true;
  }
  ISC_STATUS_ARRAY status;
  isc_dsql_execute(status, transaction.Handle(), handle_.Address(), SQLDA_VERSION1, count > 0 ? input_.Get() : nullptr);
  Check(status);
}

bool TFbStatement::Fetch() {
  ISC_STATUS_ARRAY status;
  const ISC_STATUS result = isc_dsql_fetch(status, handle_.Address(), SQLDA_VERSION1, output_.Get());
  if (result == EndOfCursor) return false;
  Check(status);
  return true;
}

TSqlValue TFbStatement::Value(int index) const {
  const XSQLVAR& var = output_.Var(index);
  if (var.sqldata == nullptr) return {};
  if ((var.sqltype & NullableBit) != 0 && var.sqlind != nullptr && *var.sqlind < 0) return {};  // negative: null
  switch (BaseType(var.sqltype)) {
    case SQL_SHORT: {
      ISC_SHORT number;
      std::memcpy(&number, var.sqldata, sizeof number);
      return std::int32_t{number};
    }
    case SQL_LONG: {
      ISC_LONG number;
      std::memcpy(&number, var.sqldata, sizeof number);
      return std::int32_t{number};
    }
    case SQL_TEXT:
      return std::string(var.sqldata, static_cast<std::size_t>(std::max<ISC_SHORT>(var.sqllen, 0)));
    case SQL_VARYING: {
      ISC_USHORT length;
      std::memcpy(&length, var.sqldata, sizeof length);
      length = std::min<ISC_USHORT>(length, static_cast<ISC_USHORT>(std::max<ISC_SHORT>(var.sqllen, 0)));
      return std::string(var.sqldata + sizeof length, length);
    }
    default:
      return {};
  }
}

std::int64_t TFbStatement::RowsChanged() {
  const char items[] = {isc_info_sql_records, isc_info_end};
  char answer[64] = {};
  ISC_STATUS_ARRAY status;
  isc_dsql_sql_info(status, handle_.Address(), sizeof items, items, sizeof answer, answer);
  Check(status);
  // isc_info_sql_records, 2-byte length, then one item per kind of change.
  if (static_cast<unsigned char>(answer[0]) != isc_info_sql_records) return 0;
  const std::size_t length = InfoLength(answer + 1);
  const std::size_t end = std::min(sizeof answer, InfoItemHeaderSize + length);
  std::size_t pos = InfoItemHeaderSize;
  std::int64_t changed = 0;
  unsigned char code = 0;
  long value = 0;
  while (pos < end && static_cast<unsigned char>(answer[pos]) != isc_info_end &&
         ReadInfoItem(answer, end, pos, code, value)) {
    if (code == isc_info_req_insert_count || code == isc_info_req_update_count || code == isc_info_req_delete_count) {
      changed += value;
    }
  }
  return changed;
}

void TFbStatement::Free() {
  if (!handle_.Held()) return;
  ISC_STATUS_ARRAY status;
  isc_dsql_free_statement(status, handle_.Address(), DSQL_drop);
  handle_.Forget();  // a statement the client cannot drop is of no further use
  Check(status);
}

// ---- Named parameters ----

TNamedParameters ParseNamedParameters(std::string_view sql) {
  TNamedParameters result;
  std::size_t i = 0;
  while (i < sql.size()) {
    const char c = sql[i];
    if (c == '\'' || c == '"') {  // a quoted text or name, up to its closing quote
      const std::size_t close = sql.find(c, i + 1);
      const std::size_t end = close == std::string_view::npos ? sql.size() : close + 1;
      result.Sql.append(sql.substr(i, end - i));
      i = end;
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      const std::size_t close = sql.find('\n', i);
      const std::size_t end = close == std::string_view::npos ? sql.size() : close;
      result.Sql.append(sql.substr(i, end - i));
      i = end;
    } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      const std::size_t close = sql.find("*/", i + 2);
      const std::size_t end = close == std::string_view::npos ? sql.size() : close + 2;
      result.Sql.append(sql.substr(i, end - i));
      i = end;
    } else if (c == ':' && i + 1 < sql.size() && IsNameStart(sql[i + 1])) {
      std::size_t end = i + 1;
      while (end < sql.size() && IsNameChar(sql[end])) ++end;
      result.Names.emplace_back(sql.substr(i + 1, end - i - 1));
      result.Sql += '?';
      i = end;
    } else {
      result.Sql += c;
      ++i;
    }
  }
  return result;
}
