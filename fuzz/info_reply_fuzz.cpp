// libFuzzer target of the information replies the database layer parses:
// the services query (server version) and the statement information
// (statement type). Both parsers get every input. What must hold for any
// bytes: no read outside the reply (the sanitizers see it), no error but
// kelvaro::Error, and a version text that is either the "?" left when the
// reply holds none or bytes the reply holds. The seeds are a real server's
// replies (fuzz/info_reply_seeds.py makes them).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "db/info_reply.h"
#include "support/errors.h"

namespace {

using namespace kelvaro::db;

[[noreturn]] void Broken(const char* what, const QByteArray& reply) {
  std::fprintf(stderr, "info_reply_fuzz: %s\n%s\n", what, reply.toHex(' ').constData());
  std::abort();
}

void CheckText(const QString& text, const QByteArray& reply) {
  if (text == QStringLiteral("?")) return;
  if (!reply.contains(text.toLatin1())) Broken("a version text the reply does not hold", reply);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Over libFuzzer's own buffer, which ends where the input ends: a read past
  // the reply is a read past the allocation (a copy would add a NUL).
  const QByteArray reply = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
  try {
    const ServerVersionInfo info = ParseServerVersionReply(reply);
    CheckText(info.serverVersion, reply);
    CheckText(info.serverImplementation, reply);
  } catch (const kelvaro::Error&) {
  }
  try {
    ParseStatementType(reply.constData(), reply.size());
  } catch (const kelvaro::Error&) {
  }
  return 0;
}
