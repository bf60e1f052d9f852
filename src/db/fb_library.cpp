#include "db/fb_library.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

#include "support/errors.h"

namespace kelvaro::db {
namespace {

struct Loaded {
  FbLibrary api{};
  bool ok = false;
  QString error;
};

template <typename F>
bool Bind(void* handle, const char* name, F* slot, QString* error) {
  void* symbol = dlsym(handle, name);
  if (!symbol) {
    *error = QStringLiteral("entry point %1 missing").arg(QLatin1String(name));
    return false;
  }
  *slot = reinterpret_cast<F>(symbol);
  return true;
}

Loaded LoadLibrary() {
  Loaded loaded;
  const QByteArray name = FbLibrary::LibraryName().toLocal8Bit();
  // The handle is kept for the life of the process: the client library
  // starts threads of its own and must never be unloaded under them.
  void* handle = dlopen(name.constData(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* reason = dlerror();
    loaded.error = reason ? QString::fromLocal8Bit(reason) : QStringLiteral("cannot be loaded");
    return loaded;
  }
  FbLibrary& a = loaded.api;
  QString& e = loaded.error;
  loaded.ok = Bind(handle, "isc_attach_database", &a.attach_database, &e) &&
              Bind(handle, "isc_detach_database", &a.detach_database, &e) &&
              Bind(handle, "isc_start_multiple", &a.start_multiple, &e) &&
              Bind(handle, "isc_commit_transaction", &a.commit_transaction, &e) &&
              Bind(handle, "isc_rollback_transaction", &a.rollback_transaction, &e) &&
              Bind(handle, "isc_dsql_allocate_statement", &a.dsql_allocate_statement, &e) &&
              Bind(handle, "isc_dsql_prepare", &a.dsql_prepare, &e) &&
              Bind(handle, "isc_dsql_describe", &a.dsql_describe, &e) &&
              Bind(handle, "isc_dsql_describe_bind", &a.dsql_describe_bind, &e) &&
              Bind(handle, "isc_dsql_execute2", &a.dsql_execute2, &e) &&
              Bind(handle, "isc_dsql_fetch", &a.dsql_fetch, &e) &&
              Bind(handle, "isc_dsql_free_statement", &a.dsql_free_statement, &e) &&
              Bind(handle, "isc_dsql_sql_info", &a.dsql_sql_info, &e) &&
              Bind(handle, "isc_create_blob2", &a.create_blob2, &e) &&
              Bind(handle, "isc_open_blob2", &a.open_blob2, &e) &&
              Bind(handle, "isc_put_segment", &a.put_segment, &e) &&
              Bind(handle, "isc_get_segment", &a.get_segment, &e) &&
              Bind(handle, "isc_close_blob", &a.close_blob, &e) &&
              Bind(handle, "isc_cancel_blob", &a.cancel_blob, &e) &&
              Bind(handle, "isc_service_attach", &a.service_attach, &e) &&
              Bind(handle, "isc_service_detach", &a.service_detach, &e) &&
              Bind(handle, "isc_service_query", &a.service_query, &e) &&
              Bind(handle, "isc_sqlcode", &a.sqlcode, &e) &&
              Bind(handle, "fb_interpret", &a.interpret, &e) &&
              Bind(handle, "isc_get_client_version", &a.get_client_version, &e);
  return loaded;
}

const Loaded& Library() {
  static const Loaded loaded = LoadLibrary();
  return loaded;
}

}  // namespace

QString FbLibrary::LibraryName() {
  const char* overridden = std::getenv("KELVARO_FBCLIENT");
  if (overridden && *overridden) return QString::fromLocal8Bit(overridden);
  return QStringLiteral("libfbclient.so.2");
}

const FbLibrary* FbLibrary::Get() {
  const Loaded& loaded = Library();
  return loaded.ok ? &loaded.api : nullptr;
}

QString FbLibrary::LoadError() { return Library().ok ? QString() : Library().error; }

QString ClientLibraryVersion() {
  const FbLibrary* api = FbLibrary::Get();
  if (!api) return QStringLiteral("?");
  char buffer[256] = {};
  api->get_client_version(buffer);
  const QString text = QString::fromLatin1(buffer, qsizetype(strnlen(buffer, sizeof buffer))).trimmed();
  const QString first = text.section(QLatin1Char(' '), 0, 0);
  return first.isEmpty() ? QStringLiteral("?") : first;
}

const FbLibrary& RequireFbLibrary() {
  const FbLibrary* api = FbLibrary::Get();
  if (!api)
    throw Error(QStringLiteral("Le client Firebird (%1) ne peut pas être chargé : %2")
                    .arg(FbLibrary::LibraryName(), FbLibrary::LoadError()));
  return *api;
}

}  // namespace kelvaro::db
