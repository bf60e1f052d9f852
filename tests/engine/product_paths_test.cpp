// Where the products are installed: the path helpers, the registered program
// paths, the common root derived from them, and the drives.
#include "products/product_paths.h"

#include "engine_fixture.h"
#include "support/errors.h"
#include "support/registry_access.h"

namespace {

using namespace kelvaro;

TEST(PathHelpers, ExtractParentFolderAndAppendBackslash) {
  struct Case {
    const char* path;
    const char* parent;
  };
  const Case cases[] = {
      {"C:\\A\\B", "C:\\A\\"}, {"C:\\A\\B\\", "C:\\A\\"}, {"C:\\A", "C:\\"}, {"C:\\", "C:\\"},
      {"C", "C"},              {"", ""},                  {"AB", "AB"},     {"\\\\srv\\share\\x", "\\\\srv\\share\\"},
  };
  for (const Case& c : cases) EXPECT_EQ(ExtractParentFolder(QString::fromUtf8(c.path)), QString::fromUtf8(c.parent)) << c.path;
  EXPECT_EQ(AppendBackslashIfNotEmpty(QString()), QString());
  EXPECT_EQ(AppendBackslashIfNotEmpty(QStringLiteral("C:\\A")), QStringLiteral("C:\\A\\"));
  EXPECT_EQ(AppendBackslashIfNotEmpty(QStringLiteral("C:\\A\\")), QStringLiteral("C:\\A\\"));
}

class ProductPathsTest : public ::testing::Test {
 protected:
  void registerProgram(const char* product, const std::string& path) {
    ASSERT_TRUE(SetProductProgramPath(QString::fromUtf8(product), QString::fromStdString(path)));
  }
  fixtures::TempPrefix prefix;
};

TEST_F(ProductPathsTest, ProgramPathIsTheRegisteredValueOrItsFolder) {
  registerProgram("Torvida", "C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll");
  EXPECT_EQ(GetProductProgramPath(QStringLiteral("Torvida"), true), QStringLiteral("C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll"));
  EXPECT_EQ(GetProductProgramPath(QStringLiteral("Torvida"), false), QStringLiteral("C:\\WKelvaro\\Torvida\\Programs\\"));
  // The database alias names the same product.
  EXPECT_EQ(GetProductProgramPath(QStringLiteral("WK_Torvida"), false), QString());
  // Absent values are empty either way, never "0".
  EXPECT_EQ(GetProductProgramPath(QStringLiteral("QRV"), true), QString());
  EXPECT_EQ(GetProductProgramPath(QStringLiteral("QRV"), false), QString());
}

TEST_F(ProductPathsTest, RowsWithoutARegistrationWriteNothing) {
  for (const char* product : {"", "PDFDLL", "Brevani", "Common", "Bureaulin", "Inconnu"}) {
    EXPECT_FALSE(SetProductProgramPath(QString::fromUtf8(product), QStringLiteral("C:\\x.exe"))) << product;
    EXPECT_EQ(GetProductProgramPath(QString::fromUtf8(product), true), QString()) << product;
  }
}

TEST_F(ProductPathsTest, PastrelUsesItsBaseFolder) {
  registerProgram("Pastrel", "C:\\Pastrel\\");
  EXPECT_EQ(ReadRegistryString(kHkeyCurrentUser, QStringLiteral("SOFTWARE\\KELVARO S.A.\\Pastrel"), QStringLiteral("BaseFolder")),
            QStringLiteral("C:\\Pastrel\\"));
  EXPECT_EQ(GetProductProgramPath(QStringLiteral("Pastrel"), true), QStringLiteral("C:\\Pastrel\\"));
}

TEST_F(ProductPathsTest, RootComesFromTheFirstRegisteredProductInOrder) {
  prefix.makeDirectory("C:\\WKelvaro\\Sorbano\\Programs");
  prefix.makeDirectory("C:\\Autre\\QRV\\Programs");
  EXPECT_EQ(GetProductsRootFolder(), QString());
  registerProgram("QRV", "C:\\Autre\\QRV\\Programs\\QRV.exe");
  EXPECT_EQ(GetProductsRootFolder(), QStringLiteral("C:\\Autre\\"));
  // Torvida comes before QRV, Sorbano before both.
  registerProgram("Sorbano", "C:\\WKelvaro\\Sorbano\\Programs\\Sorbano.exe");
  EXPECT_EQ(GetProductsRootFolder(), QStringLiteral("C:\\WKelvaro\\"));
}

TEST_F(ProductPathsTest, RootOfAFolderThatVanishedIsThatFolder) {
  registerProgram("Nimbaro", "C:\\WKelvaro\\Nimbaro\\Programs\\Nimbaro.exe");
  EXPECT_EQ(GetProductsRootFolder(), QStringLiteral("C:\\WKelvaro\\Nimbaro\\Programs\\"));
  // A product folder at the root of a drive gives the drive root.
  prefix.makeDirectory("C:\\Sorbano");
  registerProgram("Sorbano", "C:\\Sorbano\\Sorbano.exe");
  EXPECT_EQ(GetProductsRootFolder(), QStringLiteral("C:\\"));
}

TEST_F(ProductPathsTest, SharedRowsAnswerFromTheRoot) {
  EXPECT_EQ(GetProductProgramPath(QStringLiteral("Imagora"), true), QString());
  EXPECT_TRUE(SetProductProgramPath(QStringLiteral("Imagora"), QStringLiteral("D:\\Ailleurs\\Imagora.exe")));
  EXPECT_EQ(GetProductProgramPath(QStringLiteral("Imagora"), true), QString()) << "row 13 ignores its own value";
  prefix.makeDirectory("C:\\WKelvaro\\Torvida\\Programs");
  registerProgram("Torvida", "C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll");
  EXPECT_EQ(GetProductProgramPath(QStringLiteral("Imagora"), true), QStringLiteral("C:\\WKelvaro\\Common\\Programs\\"));
  EXPECT_EQ(GetProductProgramPath(QStringLiteral("Common"), false), QStringLiteral("C:\\WKelvaro\\Common\\Programs\\"));
}

TEST_F(ProductPathsTest, UnexpectedRegistryTypes) {
  // A number reads as its decimal text; a binary value is refused by name.
  prefix.appendUserReg(
      "\n[Software\\\\KELVARO S.A.\\\\QRV\\\\Program] 1796862791\n#time=1dd883e092ec922\n\"Filename\"=dword:00000007\n"
      "\n[Software\\\\KELVARO S.A.\\\\Torvida\\\\Program] 1796862791\n#time=1dd883e092ec922\n\"Filename\"=hex:43,00,3a,00\n");
  EXPECT_EQ(GetProductProgramPath(QStringLiteral("QRV"), true), QStringLiteral("7"));
  EXPECT_EQ(GetProductProgramPath(QStringLiteral("QRV"), false), QString()) << "a number names no folder";
  try {
    GetProductProgramPath(QStringLiteral("Torvida"), true);
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(error.message(), QStringLiteral("Type de données incorrect pour 'Filename'"));
  }
}

TEST_F(ProductPathsTest, DriveLettersInOrder) {
  prefix.addDrive('e', prefix.root() + "/e", "cdrom");
  prefix.addDrive('d', prefix.root() + "/d");
  EXPECT_EQ(GetDriveLetterList(), QStringLiteral("CDEZ"));
}

}  // namespace
