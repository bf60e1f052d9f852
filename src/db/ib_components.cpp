#include "db/ib_components.h"

#include <algorithm>

#include "db/connection_string.h"
#include "db/sql_values.h"
#include "support/errors.h"
#include "support/text.h"

namespace kelvaro::db {
namespace {

// The character sets a connection of this program may ask for.
struct Charset {
  const char* name;
  short id;
};
constexpr Charset kCharsets[] = {{"NONE", 0}, {"OCTETS", 1}, {"ASCII", 2}, {"UTF8", 4},
                                 {"ISO8859_1", 21}, {"WIN1252", 53}};

constexpr short kUtf8Id = 4;

short CharsetIdOf(const QString& name) {
  for (const Charset& c : kCharsets)
    if (name.compare(QLatin1String(c.name), Qt::CaseInsensitive) == 0) return c.id;
  return 0;
}

// "name=value" of a parameter list; the name is compared without case.
bool SplitParam(const QString& param, QString* name, QString* value) {
  const qsizetype eq = param.indexOf(QLatin1Char('='));
  if (eq <= 0) return false;
  *name = param.left(eq).trimmed().toLower();
  *value = param.mid(eq + 1);
  return true;
}

// Replaces ":name" parameters by "?" outside quoted literals and names, and
// counts the parameters.
QString PositionalSql(const QString& sql, int* count) {
  QString out;
  out.reserve(sql.size());
  *count = 0;
  QChar quote;
  for (qsizetype i = 0; i < sql.size(); ++i) {
    const QChar c = sql[i];
    if (!quote.isNull()) {
      out += c;
      if (c == quote) quote = QChar();
      continue;
    }
    if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
      quote = c;
      out += c;
    } else if (c == QLatin1Char('?')) {
      out += c;
      ++*count;
    } else if (c == QLatin1Char(':') && i + 1 < sql.size() &&
               (sql[i + 1].isLetterOrNumber() || sql[i + 1] == QLatin1Char('_'))) {
      ++i;
      while (i + 1 < sql.size() && (sql[i + 1].isLetterOrNumber() || sql[i + 1] == QLatin1Char('_')))
        ++i;
      out += QLatin1Char('?');
      ++*count;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

// --- IbDatabase --------------------------------------------------------------

IbDatabase::IbDatabase(QObject* parent) : QObject(parent) {}

IbDatabase::~IbDatabase() { forceClose(); }

void IbDatabase::open() {
  if (connected()) throw Error(QStringLiteral("Already connected!"));
  ParameterBlock dpb({isc_dpb_version1});
  charset_.clear();
  QString name, value;
  for (const QString& param : params_) {
    if (!SplitParam(param, &name, &value)) continue;
    if (name == QLatin1String("user_name")) dpb.addString(isc_dpb_user_name, value.toLocal8Bit());
    else if (name == QLatin1String("password")) dpb.addString(isc_dpb_password, value.toLocal8Bit());
    else if (name == QLatin1String("sql_role_name"))
      dpb.addString(isc_dpb_sql_role_name, value.toLocal8Bit());
    else if (name == QLatin1String("lc_ctype")) {
      charset_ = value.trimmed();
      dpb.addString(isc_dpb_lc_ctype, charset_.toLatin1());
    }
  }
  dpb.addInt(isc_dpb_sql_dialect, sqlDialect_);
  charsetId_ = CharsetIdOf(charset_);
  attachment_.attach(ClientDatabaseName(databaseName_), dpb);
}

void IbDatabase::releaseDependents(bool force) noexcept {
  for (const auto& query : queries_)
    if (query) query->forgetStatement();
  for (const auto& transaction : transactions_) {
    if (!transaction) continue;
    transaction->closeCursors();
    if (force) transaction->abandon();
  }
}

void IbDatabase::close() {
  if (!connected()) return;
  // Statements go first (a cursor keeps its transaction busy), then the
  // transactions, then the attachment.
  for (const auto& query : queries_)
    if (query) query->statement_.drop();
  for (const auto& transaction : transactions_)
    if (transaction) {
      transaction->closeCursors();
      transaction->transaction_.forceRollback();
    }
  try {
    attachment_.detach();
  } catch (...) {
    forceClose();
    throw;
  }
}

void IbDatabase::forceClose() noexcept {
  if (!connected()) return;
  for (const auto& query : queries_)
    if (query) query->statement_.drop();
  for (const auto& transaction : transactions_)
    if (transaction) {
      transaction->closeCursors();
      transaction->transaction_.forceRollback();
    }
  attachment_.forceDetach();
  releaseDependents(true);
}

// The products keep their text in the Windows code page and give the server
// those bytes as they are, whatever single-byte character set the connection
// names (ISO8859_1 here): "€" is stored as 0x80 and must read back as "€".
// A character without a byte there is refused rather than stored as "?".
QByteArray IbDatabase::encode(const QString& text) const {
  if (charsetId_ == kUtf8Id) return text.toUtf8();
  if (const qsizetype at = firstOutsideWindows1252(text); at >= 0) {
    const QString code = QStringLiteral("%1").arg(uint(text[at].unicode()), 4, 16, QLatin1Char('0')).toUpper();
    throw Error(QStringLiteral("Cannot store \"%1\" (U+%2) in the connection's character set %3")
                    .arg(QString(text[at]), code, charset_.isEmpty() ? QStringLiteral("NONE") : charset_));
  }
  return QByteArray::fromStdString(toWindows1252(text));
}

QString IbDatabase::decode(const QByteArray& bytes) const {
  if (charsetId_ == kUtf8Id) return QString::fromUtf8(bytes);
  return fromWindows1252(bytes.constData(), bytes.size());
}

// --- IbTransaction -----------------------------------------------------------

IbTransaction::IbTransaction(QObject* parent) : QObject(parent) {}

IbTransaction::~IbTransaction() {
  closeCursors();
  transaction_.forceRollback();
}

void IbTransaction::setDefaultDatabase(IbDatabase* database) {
  if (database_ == database) return;
  if (database_) database_->transactions_.removeAll(this);
  database_ = database;
  if (database_ && !database_->transactions_.contains(this)) database_->transactions_.append(this);
}

void IbTransaction::start() {
  if (!database_) throw Error(QStringLiteral("%1: no database").arg(objectName()));
  if (!database_->connected()) throw Error(QStringLiteral("Database not open"));
  transaction_.start(database_->attachment(), tpb_);
}

void IbTransaction::commit() {
  closeCursors();
  transaction_.commit();
}

void IbTransaction::rollback() {
  closeCursors();
  transaction_.rollback();
}

void IbTransaction::closeCursors() noexcept {
  for (const auto& query : queries_)
    if (query) query->close();
}

void IbTransaction::abandon() noexcept {
  // The attachment is gone: the handle means nothing any more.
  *transaction_.handle() = 0;
}

// --- IbQuery -----------------------------------------------------------------

IbQuery::IbQuery(QObject* parent) : QObject(parent) {}

IbQuery::~IbQuery() { close(); }

void IbQuery::setDatabase(IbDatabase* database) {
  if (database_ == database) return;
  close();
  statement_.drop();
  if (database_) database_->queries_.removeAll(this);
  database_ = database;
  if (database_ && !database_->queries_.contains(this)) database_->queries_.append(this);
}

void IbQuery::setTransaction(IbTransaction* transaction) {
  if (transaction_ == transaction) return;
  close();
  if (transaction_) transaction_->queries_.removeAll(this);
  transaction_ = transaction;
  if (transaction_ && !transaction_->queries_.contains(this)) transaction_->queries_.append(this);
}

void IbQuery::setSql(const QString& sql) {
  close();
  statement_.drop();
  sql_ = sql;
  clientSql_.clear();
  paramCount_ = 0;
  params_.clear();
  PositionalSql(sql_, &paramCount_);
}

void IbQuery::setParam(int index, const QVariant& value) {
  if (index < 0) throw Error(QStringLiteral("Parameter index %1 out of range").arg(index));
  if (size_t(index) >= params_.size()) params_.resize(size_t(index) + 1);
  params_[size_t(index)] = value;
}

void IbQuery::checkReady() const {
  if (!database_) throw Error(QStringLiteral("%1: no database").arg(objectName()));
  if (!database_->connected()) throw Error(QStringLiteral("Database not open"));
  if (!transaction_) throw Error(QStringLiteral("%1: no transaction").arg(objectName()));
  if (!transaction_->active()) throw Error(QStringLiteral("Transaction not active"));
}

void IbQuery::prepare() {
  if (statement_.isPrepared()) return;
  int count = 0;
  clientSql_ = database_->encode(PositionalSql(sql_, &count));
  statement_.prepare(database_->attachment(), transaction_->handle(), clientSql_,
                     (unsigned short)database_->sqlDialect());
  columnNames_.clear();
  SqlArea& out = statement_.outputs();
  for (int i = 0; i < out.count(); ++i) {
    const XSQLVAR& v = out.var(i);
    const bool aliased = v.aliasname_length > 0;
    // The lengths come from the server's description: never past the field.
    const short length =
        std::clamp<short>(aliased ? v.aliasname_length : v.sqlname_length, 0, short(sizeof v.sqlname));
    columnNames_ << QString::fromLatin1(aliased ? v.aliasname : v.sqlname, length);
  }
}

void IbQuery::bindParams() {
  SqlArea& in = statement_.inputs();
  if (size_t(in.count()) > params_.size())
    throw Error(QStringLiteral("%1 parameters expected, %2 given")
                    .arg(QString::number(in.count()), QString::number(params_.size())));
  for (int i = 0; i < in.count(); ++i)
    BindParameter(in, i, params_[size_t(i)], *database_, transaction_->handle());
}

void IbQuery::execQuery() {
  checkReady();
  close();
  prepare();
  bindParams();
  statement_.execute(transaction_->handle());
  if (statement_.hasCursor()) next();
}

void IbQuery::open() {
  checkReady();
  close();
  prepare();
  if (!statement_.hasCursor()) throw Error(QStringLiteral("Statement returns no rows"));
  bindParams();
  statement_.execute(transaction_->handle());
  next();
}

void IbQuery::next() {
  hasRow_ = false;
  row_.clear();
  if (!statement_.cursorOpen()) return;
  try {
    if (!statement_.fetch()) return;
    readRow();
  } catch (...) {
    close();
    throw;
  }
}

void IbQuery::readRow() {
  SqlArea& out = statement_.outputs();
  row_.reserve(size_t(out.count()));
  for (int i = 0; i < out.count(); ++i)
    row_.push_back(ReadColumn(out.var(i), *database_, transaction_->handle()));
  hasRow_ = true;
}

void IbQuery::close() noexcept {
  statement_.closeCursor();
  hasRow_ = false;
  row_.clear();
}

void IbQuery::forgetStatement() noexcept {
  statement_.forget();
  hasRow_ = false;
  row_.clear();
}

QVariant IbQuery::field(int index) const {
  if (!hasRow_ || index < 0 || size_t(index) >= row_.size())
    throw Error(QStringLiteral("Field index %1 out of range").arg(index));
  return row_[size_t(index)];
}

QVariant IbQuery::fieldByName(const QString& name) const {
  const qsizetype index = columnNames_.indexOf(name.toUpper());
  if (index < 0) throw Error(QStringLiteral("Field '%1' not found").arg(name));
  return field(int(index));
}

// --- IbServerProperties ------------------------------------------------------

void IbServerProperties::attach() {
  ParameterBlock spb({isc_spb_version, isc_spb_current_version});
  QString name, value;
  for (const QString& param : params_) {
    if (!SplitParam(param, &name, &value)) continue;
    if (name == QLatin1String("user_name")) spb.addString(isc_spb_user_name, value.toLocal8Bit());
    else if (name == QLatin1String("password")) spb.addString(isc_spb_password, value.toLocal8Bit());
  }
  QByteArray service = "service_mgr";
  if (protocol_ == TCP) service = serverName_.toLocal8Bit() + ':' + service;
  service_.attach(service, spb);
}

ServerVersionInfo IbServerProperties::fetchVersionInfo() {
  const QByteArray items = QByteArray() + char(isc_info_svc_server_version) +
                           char(isc_info_svc_implementation) + char(isc_info_svc_version);
  return ParseServerVersionReply(service_.query(items));
}

}  // namespace kelvaro::db
