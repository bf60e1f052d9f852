#include "db/fb_handles.h"

#include <algorithm>
#include <cstring>

#include <QStringList>

#include "db/info_reply.h"
#include "support/errors.h"

namespace kelvaro::db {

QString FbStatus::message(const FbLibrary& api) const {
  QStringList lines;
  const ISC_STATUS* cursor = status_;
  char buffer[1024];
  while (api.interpret(buffer, sizeof buffer, &cursor) > 0) {
    // The client's texts are UTF-8 (ASCII for the engine's own messages).
    lines << QString::fromUtf8(buffer, qsizetype(strnlen(buffer, sizeof buffer)));
  }
  return lines.join(QStringLiteral("\r\n"));
}

std::vector<int64_t> FbStatus::errorCodes() const {
  std::vector<int64_t> codes;
  if (!failed()) return codes;
  for (const ISC_STATUS* item = status_; item + 1 < status_ + ISC_STATUS_LENGTH && *item != isc_arg_end;) {
    switch (item[0]) {
      case isc_arg_gds:
        codes.push_back(int64_t(item[1]));
        item += 2;
        break;
      case isc_arg_cstring:  // length and pointer
        item += 3;
        break;
      case isc_arg_warning:  // the warnings that follow are not the error
        return codes;
      default:  // one value: a string, a number, an SQL state
        item += 2;
        break;
    }
  }
  return codes;
}

void FbStatus::check(const FbLibrary& api) const {
  if (!failed()) return;
  throw DatabaseError(message(api), int(api.sqlcode(status_)), errorCodes());
}

// --- ParameterBlock ----------------------------------------------------------

void ParameterBlock::addString(char tag, const QByteArray& value) {
  const int length = std::min<int>(int(value.size()), 255);
  bytes_.push_back(tag);
  bytes_.push_back(char(length));
  bytes_.insert(bytes_.end(), value.constData(), value.constData() + length);
}

void ParameterBlock::addString2(char tag, const QByteArray& value) {
  const int length = std::min<int>(int(value.size()), 65535);
  bytes_.push_back(tag);
  bytes_.push_back(char(length & 0xFF));
  bytes_.push_back(char((length >> 8) & 0xFF));
  bytes_.insert(bytes_.end(), value.constData(), value.constData() + length);
}

void ParameterBlock::addInt(char tag, int32_t value) {
  bytes_.push_back(tag);
  bytes_.push_back(4);
  for (int i = 0; i < 4; ++i) bytes_.push_back(char((uint32_t(value) >> (8 * i)) & 0xFF));
}

// --- Attachment --------------------------------------------------------------

void Attachment::attach(const QByteArray& databaseName, const ParameterBlock& dpb) {
  const FbLibrary& api = RequireFbLibrary();
  if (handle_) throw Error(QStringLiteral("Already connected!"));
  FbStatus status;
  api.attach_database(status.vector(), short(databaseName.size()), databaseName.constData(), &handle_,
                      dpb.size(), dpb.data());
  if (status.failed()) handle_ = 0;
  status.check(api);
}

void Attachment::detach() {
  if (!handle_) return;
  const FbLibrary& api = RequireFbLibrary();
  FbStatus status;
  api.detach_database(status.vector(), &handle_);
  status.check(api);
  handle_ = 0;
}

void Attachment::forceDetach() noexcept {
  if (!handle_) return;
  if (const FbLibrary* api = FbLibrary::Get()) {
    FbStatus status;
    api->detach_database(status.vector(), &handle_);
  }
  handle_ = 0;
}

// --- Transaction -------------------------------------------------------------

void Transaction::start(Attachment& attachment, const QByteArray& tpb) {
  const FbLibrary& api = RequireFbLibrary();
  if (handle_) throw Error(QStringLiteral("Transaction is active"));
  if (!attachment.isOpen()) throw Error(QStringLiteral("Database not open"));
  // The transaction existence block of isc_start_multiple: one database.
  struct {
    isc_db_handle* database;
    long tpbLength;
    const char* tpb;
  } teb{attachment.handle(), long(tpb.size()), tpb.isEmpty() ? nullptr : tpb.constData()};
  FbStatus status;
  api.start_multiple(status.vector(), &handle_, 1, &teb);
  if (status.failed()) handle_ = 0;
  status.check(api);
}

void Transaction::commit() {
  if (!handle_) throw Error(QStringLiteral("Transaction is not active"));
  const FbLibrary& api = RequireFbLibrary();
  FbStatus status;
  api.commit_transaction(status.vector(), &handle_);
  status.check(api);
  handle_ = 0;
}

void Transaction::rollback() {
  if (!handle_) throw Error(QStringLiteral("Transaction is not active"));
  const FbLibrary& api = RequireFbLibrary();
  FbStatus status;
  api.rollback_transaction(status.vector(), &handle_);
  status.check(api);
  handle_ = 0;
}

void Transaction::forceRollback() noexcept {
  if (!handle_) return;
  if (const FbLibrary* api = FbLibrary::Get()) {
    FbStatus status;
    api->rollback_transaction(status.vector(), &handle_);
  }
  handle_ = 0;
}

// --- SqlArea -----------------------------------------------------------------

namespace {

// An area described again at the size the server asked for must now hold
// every column; a server that asks for still more is not believed.
void CheckDescribed(const XSQLDA& area) {
  if (area.sqld > area.sqln)
    throw InvalidServerReply(QStringLiteral("%1 columns described in an area of %2")
                                 .arg(QString::number(area.sqld), QString::number(area.sqln)));
}

}  // namespace

void SqlArea::resize(int columns) {
  const int n = std::max(columns, 1);
  raw_.assign(XSQLDA_LENGTH(n), 0);
  XSQLDA* area = get();
  area->version = SQLDA_VERSION1;
  area->sqln = short(n);
  area->sqld = 0;
  buffers_.assign(size_t(n), {});
  indicators_.assign(size_t(n), 0);
}

int SqlArea::count() const {
  if (raw_.empty()) return 0;
  // The column count comes from the server's description; the area never
  // holds more than it was made for.
  const XSQLDA* area = reinterpret_cast<const XSQLDA*>(raw_.data());
  return std::clamp<int>(area->sqld, 0, area->sqln);
}

void SqlArea::allocateBuffers() {
  for (int i = 0; i < count(); ++i) {
    XSQLVAR& v = var(i);
    if (v.sqllen < 0)
      throw InvalidServerReply(
          QStringLiteral("column %1 of %2 bytes").arg(QString::number(i), QString::number(v.sqllen)));
    size_t size = size_t(v.sqllen);
    if ((v.sqltype & ~1) == SQL_VARYING) size += sizeof(short);
    v.sqldata = buffer(i, size);
    v.sqlind = indicator(i);
  }
}

char* SqlArea::buffer(int i, size_t size) {
  auto& storage = buffers_[size_t(i)];
  // Aligned for the widest value the client writes (ISC_INT64, ISC_QUAD).
  storage.assign(std::max<size_t>(size, 8) + 8, 0);
  return storage.data();
}

// --- Statement ---------------------------------------------------------------

void Statement::prepare(Attachment& attachment, Transaction& transaction, const QByteArray& sql,
                        unsigned short dialect) {
  const FbLibrary& api = RequireFbLibrary();
  drop();
  FbStatus status;
  api.dsql_allocate_statement(status.vector(), attachment.handle(), &handle_);
  if (status.failed()) handle_ = 0;
  status.check(api);

  outputs_.resize(1);
  api.dsql_prepare(status.vector(), transaction.handle(), &handle_, 0, sql.constData(), dialect,
                   outputs_.get());
  if (status.failed()) {
    const QString message = status.message(api);
    const int code = int(api.sqlcode(status.vector()));
    const std::vector<int64_t> codes = status.errorCodes();
    drop();
    throw DatabaseError(message, code, codes);
  }
  if (outputs_.get()->sqld > outputs_.get()->sqln) {
    const int n = outputs_.get()->sqld;
    outputs_.resize(n);
    api.dsql_describe(status.vector(), &handle_, 1, outputs_.get());
    status.check(api);
    CheckDescribed(*outputs_.get());
  }
  outputs_.allocateBuffers();

  inputs_.resize(1);
  api.dsql_describe_bind(status.vector(), &handle_, 1, inputs_.get());
  status.check(api);
  if (inputs_.get()->sqld > inputs_.get()->sqln) {
    const int n = inputs_.get()->sqld;
    inputs_.resize(n);
    api.dsql_describe_bind(status.vector(), &handle_, 1, inputs_.get());
    status.check(api);
    CheckDescribed(*inputs_.get());
  }

  const char item = isc_info_sql_stmt_type;
  char answer[16] = {};
  api.dsql_sql_info(status.vector(), &handle_, 1, &item, sizeof answer, answer);
  status.check(api);
  const int type = ParseStatementType(answer, sizeof answer);
  hasCursor_ = type == isc_info_sql_stmt_select || type == isc_info_sql_stmt_select_for_upd;
}

void Statement::execute(Transaction& transaction) {
  const FbLibrary& api = RequireFbLibrary();
  if (!handle_) throw Error(QStringLiteral("Statement not prepared"));
  closeCursor();
  FbStatus status;
  XSQLDA* in = inputs_.count() > 0 ? inputs_.get() : nullptr;
  // A statement without a cursor that returns values (EXECUTE PROCEDURE)
  // gets them straight into the outputs.
  XSQLDA* out = !hasCursor_ && outputs_.count() > 0 ? outputs_.get() : nullptr;
  api.dsql_execute2(status.vector(), transaction.handle(), &handle_, 1, in, out);
  status.check(api);
  cursorOpen_ = hasCursor_;
}

bool Statement::fetch() {
  if (!cursorOpen_) return false;
  const FbLibrary& api = RequireFbLibrary();
  FbStatus status;
  const ISC_STATUS code = api.dsql_fetch(status.vector(), &handle_, 1, outputs_.get());
  if (code == 100) return false;
  status.check(api);
  return true;
}

void Statement::closeCursor() noexcept {
  if (!cursorOpen_) return;
  cursorOpen_ = false;
  if (const FbLibrary* api = FbLibrary::Get()) {
    FbStatus status;
    api->dsql_free_statement(status.vector(), &handle_, DSQL_close);
  }
}

void Statement::drop() noexcept {
  cursorOpen_ = false;
  hasCursor_ = false;
  if (!handle_) return;
  if (const FbLibrary* api = FbLibrary::Get()) {
    FbStatus status;
    api->dsql_free_statement(status.vector(), &handle_, DSQL_drop);
  }
  handle_ = 0;
}

void Statement::forget() noexcept {
  handle_ = 0;
  cursorOpen_ = false;
  hasCursor_ = false;
}

// --- Blob --------------------------------------------------------------------

ISC_QUAD Blob::Write(Attachment& attachment, Transaction& transaction, const QByteArray& bytes) {
  const FbLibrary& api = RequireFbLibrary();
  Blob blob;
  ISC_QUAD id{};
  FbStatus status;
  api.create_blob2(status.vector(), attachment.handle(), transaction.handle(), &blob.handle_, &id, 0,
                   nullptr);
  if (status.failed()) blob.handle_ = 0;
  status.check(api);
  constexpr qsizetype kSegment = 32768;
  for (qsizetype at = 0; at < bytes.size(); at += kSegment) {
    const qsizetype length = std::min(kSegment, bytes.size() - at);
    api.put_segment(status.vector(), &blob.handle_, (unsigned short)length, bytes.constData() + at);
    status.check(api);  // the destructor cancels the half-written blob
  }
  api.close_blob(status.vector(), &blob.handle_);
  status.check(api);
  blob.handle_ = 0;
  return id;
}

QByteArray Blob::Read(Attachment& attachment, Transaction& transaction, ISC_QUAD id) {
  const FbLibrary& api = RequireFbLibrary();
  Blob blob;
  FbStatus status;
  api.open_blob2(status.vector(), attachment.handle(), transaction.handle(), &blob.handle_, &id, 0,
                 nullptr);
  if (status.failed()) blob.handle_ = 0;
  status.check(api);
  QByteArray bytes;
  char buffer[32768];
  for (;;) {
    unsigned short length = 0;
    const ISC_STATUS code =
        api.get_segment(status.vector(), &blob.handle_, &length, sizeof buffer, buffer);
    if (code == isc_segstr_eof) break;
    if (code != 0 && code != isc_segment) status.check(api);
    if (length > sizeof buffer)
      throw InvalidServerReply(QStringLiteral("a blob segment of %1 bytes").arg(length));
    bytes.append(buffer, length);
  }
  api.close_blob(status.vector(), &blob.handle_);
  blob.handle_ = 0;
  return bytes;
}

void Blob::cancel() noexcept {
  if (!handle_) return;
  if (const FbLibrary* api = FbLibrary::Get()) {
    FbStatus status;
    api->cancel_blob(status.vector(), &handle_);
  }
  handle_ = 0;
}

// --- Service -----------------------------------------------------------------

void Service::attach(const QByteArray& name, const ParameterBlock& spb) {
  const FbLibrary& api = RequireFbLibrary();
  detach();
  FbStatus status;
  api.service_attach(status.vector(), (unsigned short)name.size(), name.constData(), &handle_,
                     (unsigned short)spb.size(), spb.data());
  if (status.failed()) handle_ = 0;
  status.check(api);
}

QByteArray Service::query(const QByteArray& items) {
  const FbLibrary& api = RequireFbLibrary();
  if (!handle_) throw Error(QStringLiteral("Service not attached"));
  QByteArray answer(4096, 0);
  FbStatus status;
  api.service_query(status.vector(), &handle_, nullptr, 0, nullptr, (unsigned short)items.size(),
                    items.constData(), (unsigned short)answer.size(), answer.data());
  status.check(api);
  return answer;
}

void Service::detach() noexcept {
  if (!handle_) return;
  if (const FbLibrary* api = FbLibrary::Get()) {
    FbStatus status;
    api->service_detach(status.vector(), &handle_);
  }
  handle_ = 0;
}

}  // namespace kelvaro::db
