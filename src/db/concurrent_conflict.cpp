#include "db/concurrent_conflict.h"

#include <ibase.h>

#include <QRandomGenerator>
#include <algorithm>
#include <chrono>
#include <thread>

#include "db/db_connection.h"
#include "support/errors.h"

namespace kelvaro::db {

bool IsConcurrentConflict(const std::exception& error) {
  const auto* database = dynamic_cast<const DatabaseError*>(&error);
  if (!database) return false;
  static constexpr int64_t kConflicts[] = {isc_lock_conflict,   isc_deadlock, isc_lock_timeout,
                                           isc_update_conflict, isc_no_dup,   isc_unique_key_violation};
  return std::any_of(database->errorCodes().begin(), database->errorCodes().end(), [](int64_t code) {
    return std::find(std::begin(kConflicts), std::end(kConflicts), code) != std::end(kConflicts);
  });
}

namespace {

// Starts the outermost bracket's transaction with params; the connection
// keeps its usual ones. False, nothing started, when they cannot be had in
// time (a conflict at the start: a table another program holds longer than
// the reservation waits).
bool StartWith(TdmDBConnection& connection, const QByteArray& params) {
  IbTransaction& transaction = *connection.GlobalTransaction;
  struct Restore {
    IbTransaction& transaction;
    const QByteArray usual;
    ~Restore() { transaction.setParams(usual); }
  } restore{transaction, transaction.params()};
  transaction.setParams(params);
  try {
    connection.DoStartTransaction();
  } catch (const DatabaseError& error) {
    if (!IsConcurrentConflict(error)) throw;
    return false;
  }
  return true;
}

// Opens the bracket, its transaction started with params when it is the
// outermost one and they can be had; else as the connection usually starts.
void StartBracket(TdmDBConnection& connection, const QByteArray& params) {
  if (!params.isEmpty() && connection.GlobalTransaction->tag == 0 && StartWith(connection, params)) return;
  connection.DoStartTransaction();
}

// One attempt in its own bracket; the bracket's failure, as DoRollback
// re-raises it, leaves through the exception.
void RunInBracket(TdmDBConnection& connection, const std::function<void()>& work, const QByteArray& params) {
  StartBracket(connection, params);
  try {
    work();
    connection.DoCommit();
  } catch (const std::exception& error) {
    connection.DoRollback(error);
  }
}

// The failed attempt left nothing behind: no bracket open (the caller held
// none around it) and no transaction running.
bool Undone(TdmDBConnection& connection) {
  return connection.GlobalTransaction->tag == 0 && !connection.GlobalTransaction->active();
}

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

void RunRetryingConflicts(TdmDBConnection& connection, const std::function<void()>& work,
                          const ConflictPause& pause, const QByteArray& transactionParams) {
  for (int attempt = 1;; ++attempt) {
    try {
      RunInBracket(connection, work, transactionParams);
      return;
    } catch (const DatabaseError& error) {
      if (attempt == kConflictAttempts || !IsConcurrentConflict(error) || !Undone(connection)) throw;
    }
    // Workstations that met on the same row retry at different moments.
    const int ms = int(QRandomGenerator::global()->bounded(attempt * kConflictBackOffStepMs + 1));
    pause ? pause(ms) : Sleep(ms);
  }
}

}  // namespace kelvaro::db
