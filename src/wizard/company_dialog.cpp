#include "wizard/company_dialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "printlists/company_list.h"
#include "support/errors.h"

namespace kelvaro {

CompanyDialog::CompanyDialog(TFMultiSte& form, QWidget* parent)
    : QDialog(parent), form_(form), comboBoxCompanies_(new QComboBox(this)) {
  setObjectName(QStringLiteral("FMultiSte"));
  setWindowTitle(form.Caption);
  auto* label = new QLabel(form.Label1Caption, this);
  label->setObjectName(QStringLiteral("Label1"));
  comboBoxCompanies_->setObjectName(QStringLiteral("ComboBoxCompanies"));
  comboBoxCompanies_->setEditable(false);
  comboBoxCompanies_->addItems(form.ComboBoxCompanies.Items);
  comboBoxCompanies_->setCurrentIndex(form.ComboBoxCompanies.ItemIndex);

  auto* info = new QPushButton(form.Button1Caption, this);
  info->setObjectName(QStringLiteral("Button1"));
  info->setVisible(false);
  auto* ok = new QPushButton(form.BokCaption, this);
  ok->setObjectName(QStringLiteral("Bok"));
  ok->setDefault(true);
  auto* cancel = new QPushButton(form.BannulerCaption, this);
  cancel->setObjectName(QStringLiteral("Bannuler"));
  connect(info, &QPushButton::clicked, this, [this] { form_.Button1Click(); });
  connect(ok, &QPushButton::clicked, this, &CompanyDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &CompanyDialog::reject);

  auto* row = new QHBoxLayout;
  row->addWidget(label);
  row->addWidget(comboBoxCompanies_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(info);
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addLayout(buttons);
  comboBoxCompanies_->setFocus();
}

void CompanyDialog::accept() {
  form_.ComboBoxCompanies.ItemIndex = comboBoxCompanies_->currentIndex();
  form_.BokClick();
  QDialog::accept();
}

void CompanyDialog::reject() {
  form_.BannulerClick();
  QDialog::reject();
}

void InstallCompanyDialog() {
  TFMultiSte::SetModalDialog([](TFMultiSte& form) {
    CompanyDialog dialog(form);
    dialog.exec();
  });
}

}  // namespace kelvaro
