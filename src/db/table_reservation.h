// Transaction parameters that reserve one table for writing when the
// transaction starts.
//
// Connections that reserve the same table take turns: each one's start
// waits until the one before has ended, and its snapshot is taken after the
// wait, so it sees everything the one before stored. Work that would
// otherwise meet another's rows half-way (and be rolled back and run again)
// simply runs after it. Ordinary writers of the table wait for the holder
// too; the wait of a reservation is bounded by lockTimeoutSeconds, after
// which the start fails with a lock time-out, a conflict like any other.
#pragma once

#include <QByteArray>
#include <QString>

namespace kelvaro::db {

QByteArray ReservingTableForWrite(const QString& table, int lockTimeoutSeconds);

}  // namespace kelvaro::db
