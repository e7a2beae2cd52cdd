#include "preferences_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include "settings.h"

namespace ramovia::ui {

PreferencesDialog::PreferencesDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("preferencesDialog");
  setWindowTitle("Preferences");
  rememberChoices = new QCheckBox("&Remember my choices");
  rememberChoices->setObjectName("rememberChoices");
  rememberChoices->setChecked(AppSettings().rememberChoices());
  auto* explanation = new QLabel(
      "A new analysis window then starts with the coefficient, the tree-construction method and "
      "the resampling settings last chosen, instead of choosing nothing.");
  explanation->setWordWrap(true);
  explanation->setBuddy(rememberChoices);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* l = new QVBoxLayout(this);
  l->addWidget(rememberChoices);
  l->addWidget(explanation);
  l->addStretch();
  l->addWidget(buttons);
  resize(420, sizeHint().height());
}

void PreferencesDialog::save() const {
  AppSettings().setRememberChoices(rememberChoices->isChecked());
}

}  // namespace ramovia::ui
