// The Firebird client library, loaded at run time.
//
// The program must start on a workstation without the client: nothing links
// against libfbclient. The library is opened on first use with dlopen and
// every entry point is looked up with dlsym. When the library (or one of the
// entry points) is missing, FbLibrary::Get() answers null, the client version
// is "?" and every attempt to reach a database fails with a clear error
// instead of a loader crash.
//
// The library name is "libfbclient.so.2" (the one Debian's libfbclient2 puts
// on the loader's path). The environment variable KELVARO_FBCLIENT names
// another file or name to load instead; tests use it to stand for a
// workstation whose client cannot be loaded. It is read once, at first use.
#pragma once

#include <ibase.h>

#include <QString>

namespace kelvaro::db {

struct FbLibrary {
  decltype(&::isc_attach_database) attach_database;
  decltype(&::isc_detach_database) detach_database;
  decltype(&::isc_start_multiple) start_multiple;
  decltype(&::isc_commit_transaction) commit_transaction;
  decltype(&::isc_rollback_transaction) rollback_transaction;
  decltype(&::isc_dsql_allocate_statement) dsql_allocate_statement;
  decltype(&::isc_dsql_prepare) dsql_prepare;
  decltype(&::isc_dsql_describe) dsql_describe;
  decltype(&::isc_dsql_describe_bind) dsql_describe_bind;
  decltype(&::isc_dsql_execute2) dsql_execute2;
  decltype(&::isc_dsql_fetch) dsql_fetch;
  decltype(&::isc_dsql_free_statement) dsql_free_statement;
  decltype(&::isc_dsql_sql_info) dsql_sql_info;
  decltype(&::isc_create_blob2) create_blob2;
  decltype(&::isc_open_blob2) open_blob2;
  decltype(&::isc_put_segment) put_segment;
  decltype(&::isc_get_segment) get_segment;
  decltype(&::isc_close_blob) close_blob;
  decltype(&::isc_cancel_blob) cancel_blob;
  decltype(&::isc_service_attach) service_attach;
  decltype(&::isc_service_detach) service_detach;
  decltype(&::isc_service_query) service_query;
  decltype(&::isc_sqlcode) sqlcode;
  decltype(&::fb_interpret) interpret;
  decltype(&::isc_get_client_version) get_client_version;

  // The loaded library, or null when it cannot be loaded; loaded once.
  static const FbLibrary* Get();
  // Why Get() answers null (the loader's own words), empty when loaded.
  static QString LoadError();
  // The file or name that is loaded: KELVARO_FBCLIENT or libfbclient.so.2.
  static QString LibraryName();
};

// The first word of the client library's own version text
// ("LI-V6.3.11.33637" for Debian's Firebird 3.0 client), "?" when the library
// cannot be loaded.
QString ClientLibraryVersion();

// The library or raises kelvaro::Error naming the library and the reason.
const FbLibrary& RequireFbLibrary();

}  // namespace kelvaro::db
