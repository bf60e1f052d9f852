// The company list: the companies a workstation serves, one name per line of
// the multi-company file "multiste.txt", loaded once when the update engine
// is created and walked by the print-list installation. The same object is
// the company-selection dialog of the products (DemandeSte); its window is
// drawn by the wizard (wizard/company_dialog.h), which installs itself with
// SetModalDialog. Without a window (unattended runs, tests) the dialog counts
// as cancelled.
//
// What this promises when things go wrong: a missing file is an empty list,
// never an error; a file that cannot be read raises kelvaro::Error naming it
// and leaves the list empty, and LoadError keeps that message until the next
// load, so that whoever walks the list knows it is not the whole list.
// AddSociete replaces the file atomically (temporary file, flush, rename), so
// a failure while writing leaves the old file and every company in it; it
// raises kelvaro::Error naming the file.
// The obsolete machine-wide key is deleted at every look-up; refusals are
// ignored.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace kelvaro {

// The drop-down list of companies: its items, the selected index (-1 for
// none) and the text it shows (the selected item).
struct TCompanyComboBox {
  QStringList Items;
  int ItemIndex = -1;
  QString Text() const { return ItemIndex >= 0 && ItemIndex < Items.size() ? Items[ItemIndex] : QString(); }
  void Clear() {
    Items.clear();
    ItemIndex = -1;
  }
};

class TFMultiSte {
 public:
  TFMultiSte();

  // Full path of the multi-company file, or empty when none exists. Removes
  // the obsolete machine key first.
  static QString GetMultisteFilename();
  // The same look-up without touching the registry (for support tools).
  static QString LocateMultisteFile();
  // The look-up itself: drive C first, then the drive of the Windows folder
  // given as its letter (none when empty), even when that is C again.
  static QString LocateMultisteFile(const QString& WindowsDrive);
  // The entries of a multi-company file, one per line as written; raises
  // kelvaro::Error naming the file when it cannot be read.
  static QStringList ReadCompanies(const QString& Path);
  // Deletes HKLM "Software\KELVARO S.A.\MultiSte" with its value "Actif" and
  // every subkey; failures are ignored.
  static void RemoveObsoleteMultiSiteKey();
  // The first candidate that exists as a file for drive letter Drive, or
  // empty.
  static QString FindMultisteFile(QChar Drive);
  // The candidates FindMultisteFile tries, in order.
  static QStringList MultisteCandidates(QChar Drive);

  // Reloads the company list from the file and selects "LastCompany".
  void ChargeFichier();

  // The selection dialog.
  bool DemandeSte();
  void SetSociete(const QString& Name);
  QString CompanyNameOrDefault() const;
  static bool CompareSocietes(const QString& A, const QString& B);
  void AddSociete(const QString& Name);

  // Handlers of the dialog's buttons and keys; the window closes itself
  // after them.
  void BokClick();
  void BannulerClick();
  void Button1Click();
  // Enter confirms and Escape cancels; true when the key closes the dialog.
  bool ComboBoxCompaniesKeyDown(int Key);

  const QString& Filename() const { return FFilename; }
  // Why the last load could not read the company file that exists; empty
  // when it read it or there was none.
  const QString& LoadError() const { return FLoadError; }

  // The window that shows the dialog modally and calls the handlers above;
  // none installed: the dialog is cancelled at once.
  using ModalDialog = std::function<void(TFMultiSte& form)>;
  static void SetModalDialog(ModalDialog dialog);

  QString Caption;
  QString Label1Caption;
  QString BokCaption;
  QString BannulerCaption;
  QString Button1Caption;
  TCompanyComboBox ComboBoxCompanies;
  bool Abandon = true;

 private:
  void SelectCompany(const QString& Name);

  QString FFilename;
  QString FLoadError;
};

// The shared instance, created on first use and kept until the program ends.
TFMultiSte& FMultiSte();

// Key codes of ComboBoxCompaniesKeyDown (VK_RETURN, VK_ESCAPE).
inline constexpr int kVkReturn = 0x0D;
inline constexpr int kVkEscape = 0x1B;

}  // namespace kelvaro
