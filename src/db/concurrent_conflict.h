// Conflicts with another connection working on the same rows at the same
// moment, and how work that meets one is tried again.
//
// A conflict only means another connection got to the rows first: a row
// another transaction holds (lock conflict, deadlock, lock time-out), a row
// another transaction changed since this one started (update conflict), a
// key another transaction has just stored (unique-key violation). The work
// itself is sound: rolled back and run again in a new transaction, it sees
// what the other stored and goes on from there. Every other failure is the
// work's own and is never retried.
#pragma once

#include <QByteArray>
#include <exception>
#include <functional>

namespace kelvaro::db {

class TdmDBConnection;

bool IsConcurrentConflict(const std::exception& error);

// Attempts in all before a conflict is given up on, and the step of the
// randomised back-off: the pause before attempt n+1 is up to n steps long.
constexpr int kConflictAttempts = 10;
constexpr int kConflictBackOffStepMs = 25;

// Sleeps the thread by default; tests record the pauses instead.
using ConflictPause = std::function<void(int ms)>;

// Runs work in one bracket of connection (DoStartTransaction, the work,
// DoCommit; DoRollback on any failure). When the work meets a conflict and
// its bracket was the outermost one, so that the rollback undid all of it,
// it is run again after a short random pause, at most kConflictAttempts
// times in all; then the last conflict is raised. Any other failure, and a
// conflict inside a bracket the caller holds open (whose transaction cannot
// be undone from here), is raised at once, as DoRollback re-raises it.
//
// transactionParams, when given, start the outermost bracket's transaction
// instead of the connection's usual ones (a table reservation, for one);
// when they cannot be had in time (a conflict as the transaction starts),
// that attempt starts with the usual ones instead.
void RunRetryingConflicts(TdmDBConnection& connection, const std::function<void()>& work,
                          const ConflictPause& pause = {}, const QByteArray& transactionParams = {});

}  // namespace kelvaro::db
