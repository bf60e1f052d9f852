// The start-up gate on the database client library: the updater stops before
// touching an installation whose client library it does not support.
#pragma once

namespace kelvaro::db {

// True when the client library's own version (its first word, "?" when it
// cannot be loaded) is accepted; otherwise shows the incompatibility warning
// and returns false once the user has closed it. Never ends the program.
bool CheckClientLibraryVersion();

}  // namespace kelvaro::db
