#pragma once

// A thin layer over the ISC C API of the Firebird client library (ibase.h,
// libfbclient): move-only handles for an attachment, a transaction and a
// statement, whose destructors release them and never throw, and one
// exception type for every error of the client, the server and the catalogue.

#include "catalogue/SqlValue.h"

#include <ibase.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

// Every error of the catalogue layer. For an error of the database client its
// text is the client's messages, one per line, with a final full stop removed;
// ErrorCode is then the first code of the status vector (isc_deadlock, ...).
// ConnectionLost: the status said the attachment is gone (ConnectionLost below).
class EDatabaseError : public std::runtime_error {
public:
  explicit EDatabaseError(const std::string& text, ISC_STATUS errorCode = 0, bool connectionLost = false)
      : std::runtime_error(text), errorCode_(errorCode), connectionLost_(connectionLost) {}
  ISC_STATUS ErrorCode() const { return errorCode_; }
  bool ConnectionLost() const { return connectionLost_; }

private:
  ISC_STATUS errorCode_;
  bool connectionLost_;
};

// A write that found no row to change: the row is gone, or another program
// changed what the write requires to still hold ("Update Failed").
class EUpdateFailed : public EDatabaseError {
public:
  EUpdateFailed() : EDatabaseError("Update Failed") {}
};

// The text of an error status vector: each message that fb_interpret gives on
// a line of its own, the last line without its final full stop.
std::string StatusText(const ISC_STATUS* status);

// True when any code of an error status vector says that the attachment is
// gone for good: a network error (server killed or restarted, connection
// cut), the database or server shut down, the attachment ended by an
// administrator, or a handle the client no longer knows. Every handle of
// that attachment is then of no further use.
bool ConnectionLost(const ISC_STATUS* status);

// The parameter blocks, built here and nowhere else.
namespace FbBlocks {
// The user and password every attachment carries.
inline constexpr std::string_view UserName = "SYSDBA";
inline constexpr std::string_view Password = "bluecrane";
// Attach parameter block: version 1, then the user name and the password
// items, each as code byte, length byte, value bytes (values of at most 255
// bytes); with a connect timeout above 0, its item too (4 bytes, least
// significant first): a server that does not answer the connection within
// that many seconds fails the attach with "connection rejected by remote
// interface". The embedded engine ignores it.
std::string AttachBlock(std::string_view userName = UserName, std::string_view password = Password,
                        int connectTimeoutSeconds = 0);
// Transaction parameter block: version 3, read committed, record version, no
// wait (the four bytes 3, 15, 17, 7). No access mode: read and write.
std::string TransactionBlock();
}  // namespace FbBlocks

// The lowest SQL dialect, and the one of databases older than dialects.
inline constexpr int FirstDialect = 1;
// The statement dialect: statements are prepared in the lower of the
// database's dialect and this one, so always in SQL dialect 1.
inline constexpr unsigned short StatementDialect = 1;

// The release calls of the client's handles, for TFbHandle. Each ends its
// handle for good and drops what the client answers: the holders release in
// destructors, where there is no one to tell.
namespace FbRelease {
void Detach(isc_db_handle& handle) noexcept;
void Rollback(isc_tr_handle& handle) noexcept;
void DropStatement(isc_stmt_handle& handle) noexcept;
}  // namespace FbRelease

// Holds one handle of the client (an attachment, a transaction or a
// statement) and releases it with Release: move-only; the destructor and a
// move onto a holder that holds a handle release it, and never throw.
template <void (*Release)(FB_API_HANDLE&) noexcept>
class TFbHandle {
public:
  TFbHandle() = default;
  ~TFbHandle() { Reset(); }
  TFbHandle(TFbHandle&& other) noexcept : handle_(std::exchange(other.handle_, Empty)) {}
  TFbHandle& operator=(TFbHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = std::exchange(other.handle_, Empty);
    }
    return *this;
  }
  TFbHandle(const TFbHandle&) = delete;
  TFbHandle& operator=(const TFbHandle&) = delete;

  bool Held() const { return handle_ != Empty; }
  // For the client's calls, which take the handle by address and set it.
  FB_API_HANDLE* Address() { return &handle_; }
  // Releases the handle now.
  void Reset() noexcept {
    if (handle_ != Empty) Release(handle_);
    handle_ = Empty;
  }
  // Lets go of the handle without a release: the client has ended it already
  // (a commit, a detach, a drop).
  void Forget() noexcept { handle_ = Empty; }

private:
  static constexpr FB_API_HANDLE Empty{};  // the client's "no handle"
  FB_API_HANDLE handle_ = Empty;
};

// An attachment to one database; detached when destroyed.
class TFbAttachment {
public:
  TFbAttachment() = default;
  TFbAttachment(TFbAttachment&&) noexcept = default;
  TFbAttachment& operator=(TFbAttachment&&) noexcept = default;

  // Attaches to a database name as the client accepts it (a path, or
  // "host:path", "inet://host/path"), with the given attach parameter block.
  static TFbAttachment Attach(const std::string& databaseName, const std::string& attachBlock = FbBlocks::AttachBlock());

  bool Attached() const { return handle_.Held(); }
  // The database's own SQL dialect, asked from the server.
  int DatabaseDialect();
  // Asks the server whether the attachment still works; fails with the
  // client's error (a lost connection among them) when it does not.
  void Ping();
  // Closes this side of a lost connection at once, so that releasing the
  // attachment's handles afterwards fails at once instead of waiting for a
  // server that will not answer (an attachment the server ended may leave
  // the connection open and silent). The handle stays held; never fails.
  void Abort() noexcept;
  // Detaches. When the client refuses (a transaction still active), the
  // attachment stays and the error is thrown.
  void Detach();
  isc_db_handle* Handle() { return handle_.Address(); }

private:
  TFbHandle<FbRelease::Detach> handle_;
};

// One transaction on one attachment. An active transaction still held by the
// destructor is rolled back.
class TFbTransaction {
public:
  TFbTransaction() = default;
  TFbTransaction(TFbTransaction&&) noexcept = default;
  TFbTransaction& operator=(TFbTransaction&&) noexcept = default;

  static TFbTransaction Start(TFbAttachment& attachment, const std::string& transactionBlock = FbBlocks::TransactionBlock());

  bool Active() const { return handle_.Held(); }
  // Makes the work permanent and keeps the transaction, its cursors and
  // prepared statements alive.
  void CommitRetaining();
  // Undoes the work since the last commit and, like CommitRetaining, keeps
  // the transaction, its cursors and prepared statements alive.
  void RollbackRetaining();
  // Commit and Rollback end the transaction when they succeed.
  void Commit();
  void Rollback();
  isc_tr_handle* Handle() { return handle_.Address(); }

private:
  TFbHandle<FbRelease::Rollback> handle_;
};

// The owner of one XSQLDA (version 1) and of the data and null-indicator
// buffers its variables point to.
class TSqlDescriptor {
public:
  explicit TSqlDescriptor(int capacity = 1);
  XSQLDA* Get() { return area_.get(); }
  int Capacity() const { return area_->sqln; }
  // The number of variables the statement has (may exceed Capacity after a describe).
  int Count() const { return area_->sqld; }
  XSQLVAR& Var(int index) { return area_->sqlvar[index]; }
  const XSQLVAR& Var(int index) const { return area_->sqlvar[index]; }
  // Gives every variable a buffer for its present type and length, and a null indicator.
  void AllocateBuffers();

private:
  struct TFree {
    void operator()(XSQLDA* area) const;
  };
  std::unique_ptr<XSQLDA, TFree> area_;
  std::vector<std::int64_t> storage_;  // 8-byte aligned data of all variables
  std::vector<ISC_SHORT> nullFlags_;
};

// Output column of a prepared statement, as described by the server.
struct TFbColumn {
  std::string Name;      // the output name (alias), upper case for plain columns
  short SqlType;         // SQL_TEXT, SQL_VARYING, SQL_LONG, ... without the null bit
  short Length;          // declared length in bytes (characters under charset NONE)
  short SubType;         // texts: the character set in the low byte, the collation in the high one
};

// A statement prepared in dialect 1 on an attachment.
class TFbStatement {
public:
  TFbStatement() = default;
  TFbStatement(TFbStatement&&) noexcept = default;
  TFbStatement& operator=(TFbStatement&&) noexcept = default;

  // Allocates and prepares the statement (with "?" parameters) in the given
  // SQL dialect and describes its output columns and its parameters.
  static TFbStatement Prepare(TFbAttachment& attachment, TFbTransaction& transaction, const std::string& sql,
                              unsigned short dialect = StatementDialect);

  bool Prepared() const { return handle_.Held(); }
  int ColumnCount() const { return output_.Count(); }
  TFbColumn Column(int index) const;
  int ParameterCount() const { return input_.Count(); }

  // Asks the client to hand a column over as a 32-bit integer, or as
  // variable-length text of at most length bytes; the server converts.
  // Only before the first Execute.
  void ReceiveAsInteger(int index);
  void ReceiveAsText(int index, short length);

  // Executes with one value per parameter; a select's cursor stays open.
  void Execute(TFbTransaction& transaction, const std::vector<TSqlValue>& parameters = {});
  // Reads the next row of an open cursor; false at the end of the result.
  bool Fetch();
  // A column of the row fetched last: null, an integer (SQL_SHORT, SQL_LONG)
  // or the text as stored (SQL_TEXT with its blanks, SQL_VARYING as is).
  // Other types come back as null: the catalogue reads none.
  TSqlValue Value(int index) const;
  // The number of rows the last execution inserted, updated or deleted.
  std::int64_t RowsChanged();
  // Drops the statement; afterwards the handle is empty even on an error.
  void Free();

private:
  // A parameter's type as described, given back to it when it is sent as null.
  struct TInputType {
    ISC_SHORT SqlType, Scale, SubType, Length;
  };

  TSqlDescriptor output_;
  TSqlDescriptor input_;
  std::vector<TInputType> inputTypes_;
  bool buffersReady_ = false;  // output buffers are given once, after any ReceiveAs call
  // Declared last, so destroyed first: the statement is dropped while the
  // descriptors and buffers it was described into still exist.
  TFbHandle<FbRelease::DropStatement> handle_;
};

// A statement's text with named parameters (":NAME") turned into "?" markers,
// and the names in the order they appear. Colons inside quoted texts,
// double-quoted names and comments are left alone.
struct TNamedParameters {
  std::string Sql;
  std::vector<std::string> Names;
};
TNamedParameters ParseNamedParameters(std::string_view sql);
