#pragma once

// The catalogue's database components: a connection, a transaction, a query
// with a local copy of its fetched rows, and an update statement set that
// writes changed rows back. Every error is an EDatabaseError (FbClient.h);
// texts of this layer are English and the client's texts come through as the
// client gives them (one message a line, final full stop removed); a call
// that the server does not answer in time fails with "O servidor não
// respondeu em N s".

#include "catalogue/FbClient.h"
#include "catalogue/FbWatchdog.h"
#include "catalogue/RowStore.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A component that holds client handles on a connection (a transaction, a
// query, an update statement set). When the connection is lost it lets go of
// them, so that nothing of the lost attachment is used again.
class TConnectionUser {
public:
  virtual void ConnectionDropped() noexcept = 0;

protected:
  ~TConnectionUser() = default;
};

// The longest a call into the client waits for the server unless the
// configuration says otherwise, in seconds.
inline constexpr int DefaultCallLimitSeconds = 60;

// The text of a call the server did not answer within the limit.
std::string NoAnswerText(int seconds);

// The connection. Closed until Connect; stays attached until destroyed or
// until the connection is lost.
class TDatabase {
public:
  TDatabase(std::string name, std::string databaseName);
  ~TDatabase();  // detaches (watched as every call is); errors are dropped
  TDatabase(const TDatabase&) = delete;
  TDatabase& operator=(const TDatabase&) = delete;

  const std::string& Name() const { return name_; }
  // The database to attach to: a path, "host:path" or "inet://host/path".
  // A new name takes effect at the next Connect.
  const std::string& DatabaseName() const { return databaseName_; }
  void SetDatabaseName(std::string databaseName) { databaseName_ = std::move(databaseName); }

  // True while the connection holds an attachment; whether it still works
  // shows at the next call into the client.
  bool Connected() const { return attachment_.Attached(); }
  // Attaches with user "SYSDBA" and password "bluecrane" and asks the
  // database's SQL dialect. When connected it asks the server whether the
  // attachment still works, and attaches again when it was lost (see Call).
  // Fails with "Database name is missing" for an empty name, else with the
  // client's text; a failed attempt leaves the connection closed. An attach
  // still waiting a moment after a stop is left behind (TFbWatchdog::Attach),
  // and Connect fails with "operation was cancelled".
  void Connect();
  // Detaches; fails with the client's text (for instance while a transaction is active).
  void Close();

  // Every wait on the server has an end: the attach waits at most this many
  // seconds for the server to answer, and each call on the attachment that
  // has no answer after as long is ended by aborting the connection (0: no
  // limit; DefaultCallLimitSeconds until set). Takes effect at once.
  void SetCallLimit(int seconds);
  int CallLimit() const { return watchdog_.Limit(); }
  // Tells whether a stop signal came (TSinaisParada): a call that still
  // waits a moment after that is ended the same way, and an attach is left
  // waiting, so that the program can end. Called on another thread, and on
  // the one that attaches.
  void SetStopRequested(std::function<bool()> stopRequested) { watchdog_.SetStopRequested(std::move(stopRequested)); }

  // Runs a call into the client on this connection. When it fails because
  // the connection is lost (EDatabaseError::ConnectionLost: the server was
  // killed or restarted, the attachment ended by an administrator, the
  // network cut, the call ended for waiting too long), the connection is
  // dropped before the error passes on; a call ended at the limit fails with
  // NoAnswerText.
  template <class TClientCall>
  decltype(auto) Call(TClientCall&& call) {
    try {
      TFbWatchdog::TArmed armed(watchdog_);
      return call();
    } catch (const EDatabaseError& error) {
      if (error.ConnectionLost()) {
        const TFbWatchdog::TEnd end = watchdog_.TakeEnd();
        DropConnection();
        if (end == TFbWatchdog::TEnd::Limit) throw EDatabaseError(NoAnswerText(CallLimit()), error.ErrorCode(), true);
      }
      throw;
    }
  }
  // Lets go of everything on the connection: this side of it is closed,
  // every user drops its handles (queries close, statements and the
  // transaction go; uncommitted work is lost with the attachment), then the
  // attachment goes. Nothing here waits for the server or fails; the next
  // Connect attaches again.
  void DropConnection() noexcept;

  // The components that hold handles on this connection register themselves
  // for their lifetime; they are dropped last registered first.
  void AddUser(TConnectionUser& user);
  void RemoveUser(TConnectionUser& user) noexcept;

  // The database's own dialect, and the one statements are prepared in (always 1).
  int DatabaseDialect() const { return databaseDialect_; }
  unsigned short SqlDialect() const { return sqlDialect_; }

  // The attachment, for the other components; fails when not connected.
  TFbAttachment& Attachment();

private:
  void Attach();

  std::string name_;
  std::string databaseName_;
  TFbWatchdog watchdog_;  // declared before the attachment: it outlives it
  TFbAttachment attachment_;
  int databaseDialect_ = 0;
  unsigned short sqlDialect_ = StatementDialect;
  std::vector<TConnectionUser*> users_;
};

// The transaction: read committed, record version, no wait. Inactive until
// StartTransaction, and again after its connection was lost. Destroyed while
// active, it is committed (a failing commit is dropped and the transaction
// rolled back).
class TTransaction final : private TConnectionUser {
public:
  TTransaction(std::string name, TDatabase& database);
  ~TTransaction();
  TTransaction(const TTransaction&) = delete;
  TTransaction& operator=(const TTransaction&) = delete;

  const std::string& Name() const { return name_; }
  TDatabase& Database() { return database_; }

  bool Active() const { return transaction_.Active(); }
  // Starts the transaction on the connected database ("%s: Database not
  // connected", "%s: Transaction is active" otherwise).
  void StartTransaction();
  // Makes the work so far permanent and visible to others; the transaction,
  // its open results and prepared statements stay.
  void CommitRetaining();
  // Undoes the work since the last commit; the transaction, its open results
  // and prepared statements stay, as with CommitRetaining.
  void RollbackRetaining();
  // Commit and Rollback end the transaction.
  void Commit();
  void Rollback();

  // The transaction, for the other components; fails with
  // "%s: Transaction is not active" when it is not.
  TFbTransaction& Handle();

private:
  void ConnectionDropped() noexcept override;

  std::string name_;
  TDatabase& database_;
  TFbTransaction transaction_;
};

// A column that a query lists, in its table of columns.
enum class TColumnType { Integer, Text };
struct TColumnDef {
  const char* Name;
  TColumnType Type;
  int Size;  // the most characters a text column holds; 0 for an integer
};

// An update statement set: of its statements only the modify statement is
// used. Its parameters are named (":NAME"); the query that owns the changed
// row supplies their values. The statement is prepared at its first use on
// the query's connection and transaction, and reused afterwards.
class TUpdateSQL final : private TConnectionUser {
public:
  TUpdateSQL(std::string name, TDatabase& database, TTransaction& transaction, std::string modifySql);
  ~TUpdateSQL();
  TUpdateSQL(const TUpdateSQL&) = delete;
  TUpdateSQL& operator=(const TUpdateSQL&) = delete;

  const std::string& Name() const { return name_; }
  const std::string& ModifySql() const { return modifySql_; }
  // The parameter names in the order of the statement, as written.
  const std::vector<std::string>& ParameterNames() const { return parameters_.Names; }
  bool Prepared() const { return statement_.Prepared(); }
  // Executes the modify statement with one value per parameter name and
  // returns the number of rows it changed.
  std::int64_t ExecModify(const std::vector<TSqlValue>& values);

private:
  void ConnectionDropped() noexcept override;

  std::string name_;
  TDatabase& database_;
  TTransaction& transaction_;
  std::string modifySql_;
  TNamedParameters parameters_;
  TFbStatement statement_;
};

// A select with a local copy of its rows (a TRowStore): each row of the copy
// holds the current value of every listed column, the value it had when
// fetched, and a change mark. The query adds the cursor over the copy, the
// edit of the current row and the write-back. Column names are compared
// without regard to letter case.
//
// The update run drives it like this:
//   Open(); FetchAll(); First();
//   for (n = RecordCount(); !Eof(); Next()) {
//     path = FieldAsString("PAS_PATH") + FieldAsString("MUS_ARQUIVO");
//     Edit(); SetInteger("MUS_SEGUNDOS", s); SetString("MUS_TEMPO", t);
//     ApplyUpdates();                 // posts the edit, writes every changed row
//     transaction.CommitRetaining();  // one commit per written row
//   }
class TQuery final : private TConnectionUser {
public:
  // The columns and the update statement set must outlive the query (the set
  // is only remembered here, so it may be constructed after the query).
  TQuery(std::string name, TDatabase& database, TTransaction& transaction, std::string selectSql,
         std::span<const TColumnDef> columns, TUpdateSQL& updateObject);
  ~TQuery();
  TQuery(const TQuery&) = delete;
  TQuery& operator=(const TQuery&) = delete;

  const std::string& Name() const { return name_; }
  const std::string& SelectSql() const { return selectSql_; }
  std::span<const TColumnDef> Columns() const { return columns_; }

  // Open: does nothing when the query is open (no new execution, no refresh).
  // Otherwise connects when the connection is closed, starts the transaction
  // when it is inactive, prepares the select in dialect 1, checks that the
  // result has every listed column ("%s: Field '%s' not found", query and
  // column), executes it and fetches the first row. The result stays open.
  // A failed Open leaves the query closed.
  void Open();
  bool IsOpen() const { return select_.Prepared(); }
  // Closes the query: the result and the copy go, pending edits with them,
  // and the next Open selects again. Never fails; does nothing when closed.
  // A lost connection closes every query on it.
  void Close() noexcept;
  // Reads every remaining row of the result into the copy; the current row stays.
  void FetchAll();

  // The number of rows in the copy (fetched so far); 0 when closed.
  int RecordCount() const { return static_cast<int>(rows_.RowCount()); }
  // First row; Next moves on, and past the last row sets Eof and keeps the
  // last row current. Both post a pending edit first.
  void First();
  void Next();
  // True when the copy is empty or Next went past the last row (and when closed).
  bool Eof() const { return eof_; }

  // A listed column of the current row (the edited values while editing) as
  // text: the empty text for null or without a current row; a fixed-length
  // text without its trailing blanks and control characters; a variable-length
  // text exactly as stored; an integer in decimal. Fails with
  // "Size Mismatch - Field %s size is too small for data" for a text column
  // the database declares longer than its listed size.
  std::string FieldAsString(std::string_view column) const;
  // The same column of another row of the copy (0 = the first), read the
  // same way from its stored values, without moving the cursor; "" for a row
  // not in the copy. For a caller that reads rows ahead of the one it works on.
  std::string FieldAsString(int row, std::string_view column) const;
  bool FieldIsNull(std::string_view column) const;
  // An integer column of the current row as its number; 0 when it is null
  // (or a text column: the run reads only keys this way).
  std::int32_t FieldAsInteger(std::string_view column) const;
  // The character set a listed text column's texts are in (CharacterSets.h),
  // as the database describes it; CharacterSetNone for an integer column or
  // while closed.
  int FieldCharacterSet(std::string_view column) const;

  // Puts the current row into edit mode ("%s: Cannot perform this operation
  // on an empty dataset" without one).
  void Edit();
  bool Editing() const { return editing_; }
  // Set a column of the row being edited ("%s: Dataset not in edit or insert
  // mode" otherwise). A text is cut to the column's listed size in characters
  // (UTF-8 characters in a UTF8 column, else bytes); an integer
  // set into a text column becomes its decimal text, a text set into an
  // integer column must be one ("'%s' is not a valid integer value"; the
  // empty text sets null).
  void SetInteger(std::string_view column, std::int32_t value);
  void SetString(std::string_view column, std::string_view value);
  // Post puts the edit into the copy and marks the row changed; Cancel drops it.
  void Post();
  void Cancel();

  // Writes the edited rows: posts a pending edit, then visits every changed
  // row of the copy in order and executes the modify statement of the update
  // statement set for it, parameters bound by name from the row ("OLD_NAME"
  // takes the fetched value of NAME, "NAME" the current one, a name the query
  // does not list gives null). Each execution must change exactly one row, or
  // the write fails with "Update Failed"; a row written marks unchanged.
  // When a row fails, the transaction's work since its last commit is rolled
  // back (retaining, so the results stay open), so that no row stays locked:
  // the failed row's edit is dropped (it shows its fetched values again, and
  // is unchanged), the rows this call wrote before it are changed again, and
  // the changed rows after it stay changed. The row current before the call
  // is current again afterwards, failure or not. Commits nothing: the caller
  // commits with retention after each write.
  void ApplyUpdates();
  // Change marks, for callers that want to know what is pending.
  bool RowChanged(int row) const;  // std::out_of_range for a row not in the copy
  int ChangedCount() const { return static_cast<int>(rows_.ChangedRows().size()); }
  int CurrentRow() const { return current_; }

private:
  // Where a listed column sits in the result, and what the database declares.
  struct TFieldInfo {
    int ResultIndex;
    int DeclaredLength;  // text columns: characters
    bool FixedLength;    // CHAR: trailing blanks are padding
    int CharacterSet;    // text columns: what a set text is cut in (CharacterSets.h)
  };

  void ConnectionDropped() noexcept override;
  [[noreturn]] void Fail(std::string_view text) const;
  // Undoes a failed write of a row (see ApplyUpdates); written: the rows this
  // write had written before it.
  void UndoWrite(std::size_t failedRow, const std::vector<std::size_t>& written);
  void CheckOpen() const;
  std::size_t ColumnIndex(std::string_view column) const;  // fails with "Field '%s' not found"
  void CheckSize(std::size_t column) const;
  // What a read shows: the pending edit, else the current row; nullopt without a current row.
  std::optional<TValueRef> ShownValue(std::size_t column) const;
  // A value of the column as FieldAsString gives it.
  std::string ValueAsString(std::size_t column, const std::optional<TValueRef>& value) const;
  std::optional<TSqlValue>& EditValue(std::string_view column, std::size_t& index);
  bool FetchRow();
  TSqlValue ParameterValue(std::size_t row, std::string_view name) const;

  std::string name_;
  TDatabase& database_;
  TTransaction& transaction_;
  std::string selectSql_;
  std::span<const TColumnDef> columns_;
  TUpdateSQL& updateObject_;

  TFbStatement select_;
  std::vector<TFieldInfo> fields_;  // one per listed column, while open
  TRowStore rows_;  // the copy: one column per listed column
  bool exhausted_ = false;
  int current_ = -1;
  bool eof_ = true;
  bool editing_ = false;
  // While editing: per listed column, the value set since Edit, if any.
  std::vector<std::optional<TSqlValue>> editRow_;
};
