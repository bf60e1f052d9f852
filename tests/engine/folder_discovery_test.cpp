// FindProductFolder: the product root searched on the fixed and network
// drives, and the user's help when there is none or more than one.
#include "engine_fixture.h"
#include "products/product_paths.h"

namespace {

using namespace kelvaro;

const QString kNotFound = QStringLiteral("Répertoire WKelvaro pas trouvé. Veuillez indiquer son emplacement.");
const QString kTitle = QStringLiteral("Séléctionner le répertoire \"WKelvaro\"");

class FolderDiscoveryTest : public enginetest::EngineTest {
 protected:
  // A drive of the given Wine type, with or without the root folder on it.
  void drive(char letter, const std::string& type, bool withRoot) {
    const std::string host = prefix.root() + "/drive_" + letter;
    prefix.addDrive(letter, host, type);
    if (withRoot) std::filesystem::create_directories(host + "/WKelvaro");
  }
  QString find() {
    QString path = QStringLiteral("unchanged");
    engine->FindProductFolder(QStringLiteral("WKelvaro"), path);
    return path;
  }
  QStringList messages() const {
    QStringList texts;
    for (const auto& shown : scripted.user.shown) {
      EXPECT_EQ(shown.kind, MessageKind::Error);
      texts << shown.text;
    }
    return texts;
  }
};

TEST_F(FolderDiscoveryTest, OneMatchNeedsNoDialog) {
  drive('d', "", true);
  EXPECT_EQ(find(), QStringLiteral("D:\\WKelvaro"));
  EXPECT_TRUE(scripted.user.shown.empty());
  EXPECT_TRUE(scripted.user.browseTitles.isEmpty());
}

TEST_F(FolderDiscoveryTest, NetworkDrivesAreSearchedToo) {
  drive('n', "network", true);
  EXPECT_EQ(find(), QStringLiteral("N:\\WKelvaro"));
}

TEST_F(FolderDiscoveryTest, TwoMatchesAskAndCancelKeepsTheFirst) {
  prefix.makeDirectory("C:\\wkelvaro");  // letter case does not matter
  drive('d', "", true);
  EXPECT_EQ(find(), QStringLiteral("C:\\WKelvaro"));
  EXPECT_EQ(messages(), QStringList{QStringLiteral(
                            "2 répertoires WKelvaro ont été trouvés, veuillez choisir l'emplacement correct.")});
  EXPECT_EQ(scripted.user.browseTitles, QStringList{kTitle});
}

TEST_F(FolderDiscoveryTest, RemovableAndOpticalDrivesAreNotSearched) {
  drive('e', "floppy", true);
  drive('f', "cdrom", true);
  drive('r', "ramdisk", true);
  EXPECT_EQ(find(), QString()) << "cancelled with nothing found";
  EXPECT_EQ(messages(), QStringList{kNotFound});
  EXPECT_EQ(scripted.user.browseTitles, QStringList{kTitle});
}

TEST_F(FolderDiscoveryTest, TheBrowseLoopKeepsTheParentOfTheChoice) {
  drive('d', "", false);
  prefix.makeDirectory("D:\\Apps\\WKelvaro");
  // First the parent (gives D:\WKelvaro, absent), then the folder itself.
  scripted.user.folders = {QStringLiteral("D:\\Apps"), QStringLiteral("D:\\Apps\\WKelvaro")};
  EXPECT_EQ(find(), QStringLiteral("D:\\Apps\\WKelvaro"));
  EXPECT_EQ(messages(), (QStringList{kNotFound, kNotFound}));
  EXPECT_EQ(scripted.user.browseTitles, (QStringList{kTitle, kTitle}));
}

TEST_F(FolderDiscoveryTest, CancelAfterAWrongChoiceKeepsTheLastCandidate) {
  scripted.user.folders = {QStringLiteral("C:\\Nulle\\Part")};
  EXPECT_EQ(find(), QStringLiteral("C:\\Nulle\\WKelvaro"));
  EXPECT_EQ(messages(), (QStringList{kNotFound, kNotFound}));
}

TEST_F(FolderDiscoveryTest, AFolderThatVanishesIsNotFound) {
  drive('d', "", true);
  std::filesystem::remove(prefix.root() + "/drive_d/WKelvaro");
  EXPECT_EQ(find(), QString());
  EXPECT_EQ(messages(), QStringList{kNotFound});
}

}  // namespace
