// Small RAII owners of the Firebird client's handles: attachment,
// transaction, statement, blob and service.
//
// Guarantees when things go wrong: every failed client call raises
// kelvaro::DatabaseError carrying the server's message (fb_interpret, lines
// joined with CR LF) and its SQL code (isc_sqlcode); nothing is retried. A
// handle is released by its owner's destructor whatever happened: a
// transaction still running is rolled back, a statement is dropped, a blob
// being written is cancelled (so no half-written blob is ever committed), an
// attachment or a service is detached, all with errors ignored. When the
// client refuses to release a handle (the server is gone), the handle is
// forgotten rather than kept: the program never blocks on a dead connection.
#pragma once

#include <ibase.h>

#include <QByteArray>
#include <QString>
#include <string>
#include <vector>

#include "db/fb_library.h"

namespace kelvaro::db {

// The status vector of one client call.
class FbStatus {
 public:
  ISC_STATUS* vector() { return status_; }
  bool failed() const { return status_[0] == 1 && status_[1] != 0; }
  ISC_LONG errorCode() const { return failed() ? ISC_LONG(status_[1]) : 0; }
  // The server's message, every line of fb_interpret joined with CR LF.
  QString message(const FbLibrary& api) const;
  // The error codes of the vector in order (its warnings left out).
  std::vector<int64_t> errorCodes() const;
  // Raises DatabaseError when the call failed.
  void check(const FbLibrary& api) const;

 private:
  ISC_STATUS_ARRAY status_ = {};
};

// A parameter block (DPB, SPB): a version byte, then tagged items.
class ParameterBlock {
 public:
  explicit ParameterBlock(std::vector<char> header) : bytes_(std::move(header)) {}
  void addString(char tag, const QByteArray& value);   // one-byte length
  void addString2(char tag, const QByteArray& value);  // two-byte length (SPB v2)
  void addInt(char tag, int32_t value);                // DPB numeric item
  const char* data() const { return bytes_.data(); }
  short size() const { return short(bytes_.size()); }

 private:
  std::vector<char> bytes_;
};

class Attachment {
 public:
  Attachment() = default;
  ~Attachment() { forceDetach(); }
  Attachment(const Attachment&) = delete;
  Attachment& operator=(const Attachment&) = delete;

  void attach(const QByteArray& databaseName, const ParameterBlock& dpb);
  void detach();
  // Detaches ignoring errors; the handle is dropped even when the client
  // refuses (the connection is lost).
  void forceDetach() noexcept;
  bool isOpen() const { return handle_ != 0; }
  isc_db_handle* handle() { return &handle_; }

 private:
  isc_db_handle handle_ = 0;
};

class Transaction {
 public:
  Transaction() = default;
  ~Transaction() { forceRollback(); }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // Starts with the given transaction parameter block (empty: the client's
  // default kind, concurrency with wait).
  void start(Attachment& attachment, const QByteArray& tpb = {});
  void commit();
  void rollback();
  void forceRollback() noexcept;
  bool isActive() const { return handle_ != 0; }
  isc_tr_handle* handle() { return &handle_; }

 private:
  isc_tr_handle handle_ = 0;
};

// An XSQLDA with room for n columns and the storage behind each column.
class SqlArea {
 public:
  void resize(int columns);
  XSQLDA* get() { return reinterpret_cast<XSQLDA*>(raw_.data()); }
  int count() const;
  XSQLVAR& var(int i) { return get()->sqlvar[i]; }
  // Gives every column a data buffer and a null indicator of the size its
  // description asks for.
  void allocateBuffers();
  // Storage for a column the caller re-types (input parameters).
  char* buffer(int i, size_t size);
  short* indicator(int i) { return &indicators_[size_t(i)]; }

 private:
  std::vector<char> raw_;
  std::vector<std::vector<char>> buffers_;
  std::vector<short> indicators_;
};

class Statement {
 public:
  Statement() = default;
  ~Statement() { drop(); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Allocates, prepares and describes both sides. sql is in the connection's
  // character set; positional parameters are "?".
  void prepare(Attachment& attachment, Transaction& transaction, const QByteArray& sql,
               unsigned short dialect);
  bool isPrepared() const { return handle_ != 0; }
  // True when the statement returns rows through a cursor (a SELECT).
  bool hasCursor() const { return hasCursor_; }
  SqlArea& inputs() { return inputs_; }
  SqlArea& outputs() { return outputs_; }

  // Executes with the current inputs; a cursor is then open when hasCursor().
  void execute(Transaction& transaction);
  // Next row into outputs(); false at the end.
  bool fetch();
  // Closes an open cursor, ignoring errors (its transaction may be gone).
  void closeCursor() noexcept;
  bool cursorOpen() const { return cursorOpen_; }
  void drop() noexcept;
  // Forgets the handle without a client call: its attachment is gone.
  void forget() noexcept;

 private:
  isc_stmt_handle handle_ = 0;
  SqlArea inputs_;
  SqlArea outputs_;
  bool hasCursor_ = false;
  bool cursorOpen_ = false;
};

// Blobs are written or read whole: the program only ever stores and reads
// complete texts.
class Blob {
 public:
  Blob() = default;
  ~Blob() { cancel(); }
  Blob(const Blob&) = delete;
  Blob& operator=(const Blob&) = delete;

  // Creates a blob holding bytes (in segments) and returns its id.
  static ISC_QUAD Write(Attachment& attachment, Transaction& transaction, const QByteArray& bytes);
  static QByteArray Read(Attachment& attachment, Transaction& transaction, ISC_QUAD id);

 private:
  void cancel() noexcept;
  isc_blob_handle handle_ = 0;
};

class Service {
 public:
  Service() = default;
  ~Service() { detach(); }
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // name: "service_mgr" (local) or "server:service_mgr".
  void attach(const QByteArray& name, const ParameterBlock& spb);
  // Sends the request items and returns the raw answer buffer.
  QByteArray query(const QByteArray& items);
  void detach() noexcept;
  bool isOpen() const { return handle_ != 0; }

 private:
  isc_svc_handle handle_ = 0;
};

}  // namespace kelvaro::db
