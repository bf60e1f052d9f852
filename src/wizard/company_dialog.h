// The window of the company-selection dialog (TFMultiSte::DemandeSte): a
// caption, the label "Société : ", the drop-down list of companies, OK
// (default, also Enter) and Annuler (also Escape), and the hidden Info
// button. The choice is made by the form's own handlers, so the remembered
// company is written exactly as without a window.
#pragma once

#include <QDialog>

class QComboBox;

namespace kelvaro {

class TFMultiSte;

class CompanyDialog : public QDialog {
  Q_OBJECT
 public:
  explicit CompanyDialog(TFMultiSte& form, QWidget* parent = nullptr);

  QComboBox* companies() const { return comboBoxCompanies_; }

  void accept() override;
  void reject() override;

 private:
  TFMultiSte& form_;
  QComboBox* comboBoxCompanies_;
};

// Makes DemandeSte show this window; called once at start-up.
void InstallCompanyDialog();

}  // namespace kelvaro
