// Where a product keeps each company's database name, readable without an
// update engine (the support tool shows the names the updater would use).
// Reads the registry only; a missing key or value is an empty name, a value
// of another type than text or 32-bit integer raises kelvaro::Error.
#pragma once

#include <QString>

namespace kelvaro {

// The database name of company ("Default" for the default company) for the
// product of that display name, with the loopback prefix where the system
// needs it; empty when none is stored or the product keeps none.
QString CompanyDatabaseName(const QString& ProductName, const QString& CompanyName);

// "127.0.0.1:" + name for a local drive path on Windows Vista to 8, where
// the local protocol is not used; otherwise the name unchanged.
QString WithLocalServerPrefix(const QString& DatabaseName);

}  // namespace kelvaro
