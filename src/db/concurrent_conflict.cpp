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

// Opens the bracket; when it is the outermost one and params are given, its
// transaction starts with them, and the connection keeps its usual ones.
// Params that cannot be had in time (a conflict at the start: a table
// another program holds longer than the reservation waits) are given up for
// the usual ones, and the work runs as it would without them.
void StartBracket(TdmDBConnection& connection, const QByteArray& params) {
  IbTransaction& transaction = *connection.GlobalTransaction;
  if (params.isEmpty() || transaction.tag != 0) {
    connection.DoStartTransaction();
    return;
  }
  const QByteArray usual = transaction.params();
  transaction.setParams(params);
  try {
    connection.DoStartTransaction();
  } catch (const DatabaseError& error) {
    transaction.setParams(usual);
    if (!IsConcurrentConflict(error)) throw;
    connection.DoStartTransaction();
    return;
  } catch (...) {
    transaction.setParams(usual);
    throw;
  }
  transaction.setParams(usual);
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
