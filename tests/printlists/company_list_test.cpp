// The company list: where "multiste.txt" is found, how it is read, the
// obsolete machine key, the remembered company and the selection dialog.
#include "printlists/company_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>

#include <filesystem>

#include "fixtures/small_file_system.h"
#include "fixtures/temp_prefix.h"
#include "fixtures/unreadable_file.h"
#include "platform/registry.h"
#include "products/product_paths.h"
#include "support/errors.h"
#include "support/registry_access.h"
#include "support/scripted_user.h"
#include "support/text.h"

namespace {

using namespace kelvaro;

const QString kLastCompanyKey = QStringLiteral("Software\\KELVARO S.A.\\Multiste");

class CompanyListTest : public ::testing::Test {
 protected:
  void setLastCompany(const QString& name) {
    WriteRegistryString(kHkeyCurrentUser, kLastCompanyKey, QStringLiteral("LastCompany"), name);
  }
  QStringList load() {
    form.ChargeFichier();
    return form.ComboBoxCompanies.Items;
  }

  fixtures::TempPrefix prefix;
  ScopedScriptedUser scripted;
  TFMultiSte form;
};

TEST_F(CompanyListTest, CandidatesInOrderOnDriveC) {
  EXPECT_EQ(TFMultiSte::MultisteCandidates(QLatin1Char('C')),
            (QStringList{"C:\\kelvaro\\multiste.txt", "C:\\kelvaro\\multiste.txt.txt", "C:\\wkelvaro\\multiste.txt",
                         "C:\\wkelvaro\\multiste.txt.txt"}));
  prefix.makeDirectory("C:\\WKelvaro\\Torvida\\Programs");
  ASSERT_TRUE(SetProductProgramPath(QStringLiteral("Torvida"), QStringLiteral("C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll")));
  EXPECT_EQ(TFMultiSte::MultisteCandidates(QLatin1Char('D')).last(), QStringLiteral("C:\\WKelvaro\\Common\\Programs\\multiste.txt"));
}

TEST_F(CompanyListTest, EachCandidateIsFoundAndTheEarliestWins) {
  const std::vector<std::string> files = {"C:\\WKelvaro\\Common\\Programs\\multiste.txt", "C:\\WKelvaro\\multiste.txt.txt",
                                          "C:\\WKelvaro\\MultiSte.txt", "C:\\Kelvaro\\multiste.txt.txt",
                                          "C:\\Kelvaro\\multiste.txt"};
  prefix.makeDirectory("C:\\WKelvaro\\Torvida\\Programs");
  ASSERT_TRUE(SetProductProgramPath(QStringLiteral("Torvida"), QStringLiteral("C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll")));
  EXPECT_EQ(TFMultiSte::GetMultisteFilename(), QString());
  // Added from the last candidate to the first: each new one takes over.
  const QStringList expected = {"C:\\WKelvaro\\Common\\Programs\\multiste.txt", "C:\\wkelvaro\\multiste.txt.txt",
                                "C:\\wkelvaro\\multiste.txt", "C:\\kelvaro\\multiste.txt.txt",
                                "C:\\kelvaro\\multiste.txt"};
  for (size_t i = 0; i < files.size(); ++i) {
    prefix.writeFile(files[i], "X\r\n");
    EXPECT_EQ(TFMultiSte::GetMultisteFilename(), expected[qsizetype(i)]);
  }
}

// Windows installed on another drive than C: its drive is searched too, but
// only after C, and a file on C wins. (This platform's Windows folder is
// always on C, so the test names the drive.)
TEST_F(CompanyListTest, TheWindowsDriveIsSearchedAfterC) {
  prefix.addDrive('d', prefix.root() + "/drive_d");
  const struct {
    const char* what;
    std::vector<std::string> files;
    const char* windowsDrive;
    const char* found;
  } cases[] = {
      {"on the Windows drive", {"D:\\WKelvaro\\multiste.txt"}, "D", "D:\\wkelvaro\\multiste.txt"},
      {"C wins", {"D:\\Kelvaro\\multiste.txt", "C:\\WKelvaro\\multiste.txt.txt"}, "D",
       "C:\\wkelvaro\\multiste.txt.txt"},
      {"Windows on C", {"D:\\Kelvaro\\multiste.txt"}, "C", ""},
      {"no Windows folder", {"D:\\Kelvaro\\multiste.txt"}, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* folder : {"C:\\Kelvaro", "C:\\WKelvaro", "D:\\Kelvaro", "D:\\WKelvaro"}) {
      std::filesystem::remove_all(prefix.hostPath(folder));
    }
    for (const std::string& file : c.files) prefix.writeFile(file, "X\r\n");
    EXPECT_EQ(TFMultiSte::LocateMultisteFile(QString::fromLatin1(c.windowsDrive)), QString::fromLatin1(c.found));
  }
}

TEST_F(CompanyListTest, EveryLineIsAnEntryAsWritten) {
  struct Case {
    const char* name;
    std::string bytes;
    QStringList entries;
  };
  const Case cases[] = {
      {"blank line", "Alpha\r\n\r\nBeta\r\n", {"Alpha", "", "Beta"}},
      {"mixed ends, spaces kept", "Alpha\nBeta\r Gamma \r\nDelta", {"Alpha", "Beta", " Gamma ", "Delta"}},
      {"duplicates kept", "A\r\nA\r\n", {"A", "A"}},
      {"ANSI accents", "Soci\xe9t\xe9 G\xe9n\xe9rale\r\n", {QStringLiteral("Société Générale")}},
      {"UTF-8 with mark", "\xEF\xBB\xBF" "Soci\xC3\xA9t\xC3\xA9\r\n", {QStringLiteral("Société")}},
      {"UTF-16LE with mark", std::string("\xFF\xFE" "A\0\r\0\n\0\r\0\n\0\x41\x01", 14), {"A", "", QStringLiteral("Ł")}},
      {"UTF-16BE with mark", std::string("\xFE\xFF\0B\0\n", 6), {"B"}},
      {"empty file", "", {}},
  };
  for (const Case& c : cases) {
    prefix.writeFile("C:\\Kelvaro\\multiste.txt", c.bytes);
    EXPECT_EQ(load(), c.entries) << c.name;
  }
}

// A file that exists but cannot be read: the load raises naming it, the list
// is empty, and the message stays with the list until a load reads the file.
TEST_F(CompanyListTest, UnreadableFileLeavesAnEmptyListAndItsError) {
  prefix.writeFile("C:\\Kelvaro\\multiste.txt", "Alpha\r\n");
  {
    fixtures::UnreadableFile locked(prefix.hostPath("C:\\Kelvaro\\multiste.txt"));
    ASSERT_TRUE(locked.refused());
    try {
      load();
      ADD_FAILURE() << "no error";
    } catch (const Error& error) {
      EXPECT_TRUE(error.message().startsWith(QStringLiteral("Impossible d'ouvrir le fichier C:\\kelvaro\\multiste.txt\r\n")))
          << error.what();
      EXPECT_EQ(form.LoadError(), error.message());
    }
    EXPECT_TRUE(form.ComboBoxCompanies.Items.isEmpty());
  }
  EXPECT_EQ(load(), QStringList{"Alpha"});
  EXPECT_EQ(form.LoadError(), QString());
}

TEST_F(CompanyListTest, LastCompanyIsSelectedIgnoringCase) {
  prefix.writeFile("C:\\Kelvaro\\multiste.txt", "Alpha\r\nBeta\r\n");
  setLastCompany(QStringLiteral("BETA"));
  load();
  EXPECT_EQ(form.ComboBoxCompanies.ItemIndex, 1);
  setLastCompany(QStringLiteral("Gamma"));
  EXPECT_EQ(load(), (QStringList{"Alpha", "Beta"})) << "the list is not changed";
  EXPECT_EQ(form.ComboBoxCompanies.ItemIndex, 0);
  EXPECT_EQ(form.Filename(), QStringLiteral("C:\\kelvaro\\multiste.txt"));
}

TEST_F(CompanyListTest, NoFileIsAnEmptyList) {
  EXPECT_EQ(load(), QStringList());
  EXPECT_EQ(form.ComboBoxCompanies.ItemIndex, -1);
  EXPECT_EQ(form.Filename(), QString());
  EXPECT_EQ(form.CompanyNameOrDefault(), QStringLiteral("Default"));
}

TEST_F(CompanyListTest, ObsoleteMachineKeyIsRemovedAtEveryLookUp) {
  prefix.appendSystemReg(
      "\n[Software\\\\KELVARO S.A.\\\\MultiSte] 1796862791\n#time=1dd883e092ec922\n\"Actif\"=dword:00000001\n"
      "\n[Software\\\\KELVARO S.A.\\\\MultiSte\\\\Sites\\\\Un] 1796862791\n#time=1dd883e092ec922\n\"X\"=\"1\"\n"
      "\n[Software\\\\KELVARO S.A.\\\\Torvida] 1796862791\n#time=1dd883e092ec922\n\"Garde\"=\"oui\"\n");
  TFMultiSte::GetMultisteFilename();
  platform::RegistryKey key;
  EXPECT_EQ(platform::RegOpenKey(platform::RegistryRoot::LocalMachine, u"Software\\KELVARO S.A.\\MultiSte",
                                 platform::kKeyRead, &key),
            platform::kErrorFileNotFound);
  EXPECT_EQ(platform::RegOpenKey(platform::RegistryRoot::LocalMachine, u"Software\\KELVARO S.A.\\Torvida",
                                 platform::kKeyRead, &key),
            platform::kErrorSuccess)
      << "its neighbours stay";
  // Without rights on the machine's registry the look-up still works.
  prefix.writeFile("C:\\Kelvaro\\multiste.txt", "A\r\n");
  chmod((prefix.root() + "/system.reg").c_str(), 0444);
  EXPECT_EQ(TFMultiSte::GetMultisteFilename(), QStringLiteral("C:\\kelvaro\\multiste.txt"));
}

TEST_F(CompanyListTest, CompareSocietes) {
  struct Case {
    const char* a;
    const char* b;
    bool equal;
  };
  const Case cases[] = {{"", "  default ", true}, {"Alpha", " ALPHA", true}, {"", "", true},
                        {"Alpha", "Beta", false}, {"Default", "Defaults", false}};
  for (const Case& c : cases) {
    EXPECT_EQ(TFMultiSte::CompareSocietes(QString::fromUtf8(c.a), QString::fromUtf8(c.b)), c.equal) << c.a << "|" << c.b;
  }
}

TEST_F(CompanyListTest, SetSocieteSelectsOrRaises) {
  prefix.writeFile("C:\\Kelvaro\\multiste.txt", "Alpha\r\nBeta\r\n");
  form.SetSociete(QStringLiteral("beta"));
  EXPECT_EQ(form.CompanyNameOrDefault(), QStringLiteral("Beta"));
  try {
    form.SetSociete(QStringLiteral("Gamma"));
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(error.message(), QStringLiteral("Société non trouvée : Gamma"));
  }
}

TEST_F(CompanyListTest, DemandeSteWithoutAWindowIsCancelled) {
  EXPECT_TRUE(form.DemandeSte()) << "no company: nothing to choose";
  prefix.writeFile("C:\\Kelvaro\\multiste.txt", "Seule\r\n");
  EXPECT_TRUE(form.DemandeSte());
  EXPECT_EQ(form.CompanyNameOrDefault(), QStringLiteral("Seule"));
  prefix.writeFile("C:\\Kelvaro\\multiste.txt", "Alpha\r\nBeta\r\n");
  EXPECT_FALSE(form.DemandeSte());
}

TEST_F(CompanyListTest, DialogConfirmsRemembersOrCancels) {
  prefix.writeFile("C:\\Kelvaro\\multiste.txt", "Alpha\r\nBeta\r\n");
  TFMultiSte::SetModalDialog([](TFMultiSte& shown) {
    shown.ComboBoxCompanies.ItemIndex = 1;
    EXPECT_TRUE(shown.ComboBoxCompaniesKeyDown(kVkReturn));
  });
  EXPECT_TRUE(form.DemandeSte());
  EXPECT_EQ(ReadRegistryString(kHkeyCurrentUser, kLastCompanyKey, QStringLiteral("LastCompany")), QStringLiteral("Beta"));
  TFMultiSte::SetModalDialog([](TFMultiSte& shown) { EXPECT_TRUE(shown.ComboBoxCompaniesKeyDown(kVkEscape)); });
  EXPECT_FALSE(form.DemandeSte());
  TFMultiSte::SetModalDialog({});
  form.Button1Click();
  ASSERT_EQ(scripted.user.shown.size(), 1u);
  EXPECT_EQ(scripted.user.shown[0].text, QStringLiteral("Liste des sociétés :\r\nC:\\kelvaro\\multiste.txt"));
}

TEST_F(CompanyListTest, AddSocieteAppendsOnceAndDropsBlankLines) {
  prefix.writeFile("C:\\Kelvaro\\multiste.txt", "Alpha\r\n  \r\n\r\nBeta");
  form.AddSociete(QStringLiteral("Gamma"));
  EXPECT_EQ(prefix.readFile("C:\\Kelvaro\\multiste.txt"), "Alpha\r\nBeta\r\nGamma\r\n");
  form.AddSociete(QStringLiteral("beta"));
  EXPECT_EQ(prefix.readFile("C:\\Kelvaro\\multiste.txt"), "Alpha\r\nBeta\r\nGamma\r\n");
}

TEST_F(CompanyListTest, AddSocieteCreatesTheFileOnTheWindowsDrive) {
  // The prefix's Windows folder is C:\windows, as Wine's.
  form.AddSociete(QStringLiteral("Société"));
  EXPECT_EQ(prefix.readFile("C:\\kelvaro\\multiste.txt"), "Soci\xe9t\xe9\r\n");
  EXPECT_EQ(TFMultiSte::GetMultisteFilename(), QStringLiteral("C:\\kelvaro\\multiste.txt"));
}

TEST_F(CompanyListTest, AddSocieteKeepsTheEncodingOfAMarkedFile) {
  struct Case {
    const char* what;
    std::string before;
    std::string after;
  };
  const Case cases[] = {
      {"UTF-16LE", std::string("\xFF\xFE\x41\x01\r\0\n\0", 8),
       std::string("\xFF\xFE\x41\x01\r\0\n\0\xA9\x03\r\0\n\0", 14)},
      {"UTF-16BE", std::string("\xFE\xFF\x01\x41\0\r\0\n", 8),
       std::string("\xFE\xFF\x01\x41\0\r\0\n\x03\xA9\0\r\0\n", 14)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    prefix.writeFile("C:\\Kelvaro\\multiste.txt", c.before);
    form.AddSociete(QStringLiteral("Ω"));
    EXPECT_EQ(prefix.readFile("C:\\Kelvaro\\multiste.txt"), c.after);
    EXPECT_EQ(load(), (QStringList{QStringLiteral("Ł"), QStringLiteral("Ω")}));
  }
}

// An ANSI list whose first company, once the blank lines before it are
// dropped, begins with the bytes of a byte-order mark would read back as
// UTF-16 or UTF-8, every company garbled: it is written as UTF-8 with its
// mark instead.
TEST_F(CompanyListTest, AddSocieteNeverWritesAListThatReadsAsAnotherEncoding) {
  struct Case {
    const char* what;
    std::string bytes;
    QString first;
  };
  const Case cases[] = {
      {"UTF-16LE mark", std::string("\r\n\xFF\xFE\0Alpha\r\nBeta\r\n", 18),
       QString::fromUtf16(u"\u00FF\u00FE") + QChar(0) + "Alpha"},
      {"UTF-16BE mark", "  \r\n\xFE\xFF" "Alpha\r\nBeta\r\n", QString::fromUtf16(u"\u00FE\u00FFAlpha")},
      {"UTF-8 mark", "\n\xEF\xBB\xBF" "Alpha\nBeta\n", QString::fromUtf16(u"\u00EF\u00BB\u00BFAlpha")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    prefix.writeFile("C:\\Kelvaro\\multiste.txt", c.bytes);
    form.AddSociete(QStringLiteral("Société"));
    EXPECT_EQ(load(), (QStringList{c.first, QStringLiteral("Beta"), QStringLiteral("Société")}));
    EXPECT_EQ(prefix.readFile("C:\\Kelvaro\\multiste.txt").substr(0, 3), "\xEF\xBB\xBF");
  }
  // An ordinary ANSI list stays ANSI.
  prefix.writeFile("C:\\Kelvaro\\multiste.txt", "\r\nAlpha\r\n");
  form.AddSociete(QStringLiteral("Société"));
  EXPECT_EQ(prefix.readFile("C:\\Kelvaro\\multiste.txt"), "Alpha\r\nSoci\xe9t\xe9\r\n");
}

TEST_F(CompanyListTest, AFailedWriteLosesNoCompany) {
  // The folder is a file system of one page, which the list already fills:
  // the new list cannot be written beside it.
  const std::string folder = prefix.hostPath("C:\\Kelvaro");
  fixtures::SmallFileSystem small(folder, "4k");
  if (!small.mounted()) GTEST_SKIP() << "cannot mount a small file system here (needs root): " << small.why();
  const std::string original = "Alpha\r\nBeta\r\n";
  prefix.writeFile("C:\\Kelvaro\\multiste.txt", original);
  EXPECT_THROW(form.AddSociete(QStringLiteral("Gamma")), Error);
  EXPECT_EQ(prefix.readFile("C:\\Kelvaro\\multiste.txt"), original);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1)
      << "no temporary file is left";
}

// Large files: ten thousand companies, and names of a thousand characters,
// in the ANSI code page and in UTF-16. All are read, and adding one keeps
// every other.
TEST_F(CompanyListTest, LargeFilesAreReadWholeAndKeptWhole) {
  struct Case {
    const char* what;
    int count;
    int length;
    bool utf16;
  };
  const Case cases[] = {
      {"10,000 names, ANSI", 10000, 12, false},
      {"10,000 names, UTF-16", 10000, 12, true},
      {"names of 1,000 characters, ANSI", 50, 1000, false},
      {"names of 1,000 characters, UTF-16", 50, 1000, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QStringList names;
    QString text;
    for (int i = 0; i < c.count; ++i) {
      const QString number = QString::number(i);
      names << QStringLiteral("Société ") + number + QString(c.length - 8 - number.size(), QLatin1Char('x'));
      text += names.back() + QStringLiteral("\r\n");
    }
    std::string bytes;
    if (c.utf16) {
      bytes = "\xFF\xFE";
      for (QChar ch : text) bytes += {char(ch.unicode() & 0xFF), char(ch.unicode() >> 8)};
    } else {
      bytes = toWindows1252(text);
    }
    prefix.writeFile("C:\\Kelvaro\\multiste.txt", bytes);
    EXPECT_EQ(load(), names);
    form.AddSociete(QStringLiteral("Dernière"));
    names << QStringLiteral("Dernière");
    EXPECT_EQ(load(), names);
  }
}

}  // namespace
