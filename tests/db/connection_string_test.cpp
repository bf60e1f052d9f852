#include <QDir>
#include <QFileInfo>
#include <filesystem>
#include <gtest/gtest.h>

#include "db/connection_string.h"
#include "fixtures/temp_prefix.h"
#include "support/errors.h"

using namespace kelvaro::db;

namespace {

struct TypeCase {
  const char* text;
  TConnectionType type;
};

TEST(ConnectionTypeOf, ClassifiesEveryForm) {
  const TypeCase cases[] = {
      {"", ibctTCPIP},
      {"C:\\db.fdb", ibctLocal},
      {"srv:C:\\db.fdb", ibctTCPIP},
      {"srv/3051:C:\\db.fdb", ibctTCPIP},
      {"127.0.0.1:C:\\Data\\base.fdb", ibctTCPIP},
      {"srv:/opt/db.fdb", ibctUNIX},
      {"\\\\srv\\C:\\db.fdb", ibctNetBEUI},
      {"srv@C:\\db.fdb", ibctNetWare},
      {"srv:C:\\a@b.fdb", ibctNetWare},  // "@" anywhere beats the TCP/IP shape
      {"\\\\srv:/x", ibctUNIX},          // ":/" beats everything
      {"db.fdb", ibctUnknown},
      {"srv:alias", ibctUnknown},
      {"srv:CC:\\db.fdb", ibctUnknown},  // ":\" not exactly two after the first ":"
      {"C:db.fdb", ibctUnknown},
  };
  for (const TypeCase& c : cases)
    EXPECT_EQ(ConnectionTypeOf(QString::fromUtf8(c.text)), c.type) << c.text;
}

struct SplitCase {
  QString text;
  QString server;
  QString path;
};

TEST(SplitConnectionString, SplitsLocalTcpAndNetBeui) {
  const QString longPath = QStringLiteral("C:\\") + QString(300, QLatin1Char('a'));
  const SplitCase cases[] = {
      {QString(), QString(), QString()},
      {QStringLiteral("C:\\db.fdb"), QString(), QStringLiteral("C:\\db.fdb")},
      {QStringLiteral("srv:C:\\db.fdb"), QStringLiteral("srv"), QStringLiteral("C:\\db.fdb")},
      {QStringLiteral("srv/3051:C:\\db.fdb"), QStringLiteral("srv/3051"), QStringLiteral("C:\\db.fdb")},
      {QStringLiteral("\\\\srv\\C:\\db.fdb"), QStringLiteral("\\\\srv"), QStringLiteral("C:\\db.fdb")},
      {QStringLiteral("srv:") + longPath, QStringLiteral("srv"), longPath.left(255)},
  };
  for (const SplitCase& c : cases) {
    QString server = QStringLiteral("x"), path = QStringLiteral("x");
    SplitConnectionString(c.text, &server, &path);
    EXPECT_EQ(server, c.server) << c.text.toStdString();
    EXPECT_EQ(path, c.path) << c.text.toStdString();
  }
}

TEST(SplitConnectionString, RefusesOtherKinds) {
  for (const char* text : {"srv:/opt/db.fdb", "srv@C:\\db.fdb", "srv:C:\\a@b.fdb", "db.fdb", "srv:alias"}) {
    QString server, path;
    try {
      SplitConnectionString(QString::fromUtf8(text), &server, &path);
      ADD_FAILURE() << text << " was split";
    } catch (const kelvaro::Error& error) {
      EXPECT_EQ(error.message(), QStringLiteral("error 0203130939")) << text;
    }
  }
}

// Strings of every odd shape: each gets its kind by the ordered rules and
// splits into the documented parts (or the documented error); none fails in
// any other way.
TEST(SplitConnectionString, OddShapesAsDocumented) {
  const QString many(100000, QLatin1Char('a'));
  struct Case {
    const char* what;
    QString text;
    TConnectionType type;
    QString server, path;  // when the kind splits
  };
  const Case cases[] = {
      {"a colon alone", QStringLiteral(":"), ibctUnknown, {}, {}},
      {"colons only", QStringLiteral("::::"), ibctUnknown, {}, {}},
      {"colon backslash alone", QStringLiteral(":\\"), ibctUnknown, {}, {}},
      {"a drive root", QStringLiteral("C:\\"), ibctLocal, {}, QStringLiteral("C:\\")},
      {"an empty server", QStringLiteral(":C:\\db.fdb"), ibctTCPIP, {}, QStringLiteral("C:\\db.fdb")},
      {"a server and a drive root", QStringLiteral("srv:C:\\"), ibctTCPIP, QStringLiteral("srv"), QStringLiteral("C:\\")},
      {"a second server-like part stays in the path", QStringLiteral("srv:C:\\a:\\b"), ibctTCPIP, QStringLiteral("srv"),
       QStringLiteral("C:\\a:\\b")},
      {"two colons before the drive", QStringLiteral("a:b:C:\\x"), ibctUnknown, {}, {}},
      {"a drive path holding a TCP/IP string", QStringLiteral("C:\\srv:C:\\x"), ibctLocal, {}, QStringLiteral("C:\\srv:C:\\x")},
      {"leading spaces", QStringLiteral("  C:\\db.fdb"), ibctUnknown, {}, {}},
      {"forward slashes make a UNIX string", QStringLiteral("C:/db.fdb"), ibctUNIX, {}, {}},
      {"an at sign alone", QStringLiteral("@"), ibctNetWare, {}, {}},
      {"two backslashes alone", QStringLiteral("\\\\"), ibctNetBEUI, QStringLiteral("\\\\"), {}},
      {"a NetBEUI server without a path", QStringLiteral("\\\\srv"), ibctNetBEUI, QStringLiteral("\\\\"), QStringLiteral("srv")},
      {"two backslashes inside: the first two characters are dropped", QStringLiteral("ab\\\\cd"), ibctNetBEUI,
       QStringLiteral("\\\\"), QStringLiteral("\\cd")},
      {"NUL characters are ordinary", QStringLiteral("C:\\a") + QChar(0) + QStringLiteral("b"), ibctLocal, {},
       QStringLiteral("C:\\a") + QChar(0) + QStringLiteral("b")},
      {"a lone surrogate is an ordinary character", QStringLiteral("srv:C:\\") + QChar(0xD800), ibctTCPIP,
       QStringLiteral("srv"), QStringLiteral("C:\\") + QChar(0xD800)},
      {"a 100,000-character TCP/IP path is cut to 255", QStringLiteral("srv:C:\\") + many, ibctTCPIP,
       QStringLiteral("srv"), (QStringLiteral("C:\\") + many).left(255)},
      {"a long NetBEUI string is cut to 255 after its first two characters",
       QStringLiteral("\\\\srv\\") + many, ibctNetBEUI, QStringLiteral("\\\\srv"), many.left(255 - 4)},
      {"a 100,000-character local path is kept whole", QStringLiteral("C:\\") + many, ibctLocal, {},
       QStringLiteral("C:\\") + many},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ConnectionTypeOf(c.text), c.type);
    QString server = QStringLiteral("x"), path = QStringLiteral("x");
    if (c.type == ibctLocal || c.type == ibctTCPIP || c.type == ibctNetBEUI) {
      SplitConnectionString(c.text, &server, &path);
      EXPECT_EQ(server, c.server);
      EXPECT_EQ(path, c.path);
    } else {
      try {
        SplitConnectionString(c.text, &server, &path);
        ADD_FAILURE() << "split";
      } catch (const kelvaro::Error& error) {
        EXPECT_EQ(error.message(), QStringLiteral("error 0203130939"));
      }
    }
    // Only drive paths of this machine are translated for the client.
    if (!c.text.contains(QStringLiteral(":\\"))) {
      EXPECT_EQ(ClientDatabaseName(c.text), c.text.toLocal8Bit());
    }
  }
}

// The client is given the real file behind a drive path of this machine,
// with the prefix's links resolved; other strings go through unchanged.
TEST(ClientDatabaseName, TranslatesDrivePathsOfThisMachine) {
  fixtures::TempPrefix prefix;
  fixtures::TempDir data;
  prefix.addDrive('D', data.path());
  std::filesystem::create_directories(data.path() + "/Kelvaro/Data");
  const QString real = QFileInfo(QString::fromStdString(data.path())).canonicalFilePath();
  const QByteArray file = (real + QStringLiteral("/Kelvaro/Data/base.fdb")).toLocal8Bit();

  struct Case {
    QString text;
    QByteArray expected;
  };
  const Case cases[] = {
      {QStringLiteral("D:\\Kelvaro\\Data\\base.fdb"), file},
      {QStringLiteral("d:\\KELVARO\\data\\base.fdb"), file},  // letter case ignored, as on Windows
      {QStringLiteral("127.0.0.1:D:\\Kelvaro\\Data\\base.fdb"), "127.0.0.1:" + file},
      {QStringLiteral("localhost:D:\\Kelvaro\\Data\\base.fdb"), "localhost:" + file},
      {QStringLiteral("LocalHost/3050:D:\\Kelvaro\\Data\\base.fdb"), "LocalHost/3050:" + file},
      {QStringLiteral("srv:D:\\Kelvaro\\Data\\base.fdb"), "srv:D:\\Kelvaro\\Data\\base.fdb"},
      {QStringLiteral("127.0.0.1:/opt/base.fdb"), "127.0.0.1:/opt/base.fdb"},
      {QStringLiteral("company"), "company"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ClientDatabaseName(c.text).toStdString(), c.expected.toStdString()) << c.text.toStdString();
}

TEST(ClientDatabaseName, KeepsMissingTailAndUnknownDrive) {
  fixtures::TempPrefix prefix;
  fixtures::TempDir data;
  prefix.addDrive('D', data.path());
  const QString real = QFileInfo(QString::fromStdString(data.path())).canonicalFilePath();
  // A file (and folder) that does not exist yet keeps the case given.
  EXPECT_EQ(ClientDatabaseName(QStringLiteral("D:\\New\\Base.fdb")), (real + QStringLiteral("/New/Base.fdb")).toLocal8Bit());
  // A drive the prefix lacks: the client gets the string and reports the
  // missing file itself.
  EXPECT_EQ(ClientDatabaseName(QStringLiteral("Q:\\base.fdb")), QByteArray("Q:\\base.fdb"));
}

}  // namespace
