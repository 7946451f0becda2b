#include "preferences/PreferencesPanel.h"

#include "ui_PreferencesPanel.h"

PreferencesPanel::PreferencesPanel(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::PreferencesPanel>())
{
    m_ui->setupUi(this);
}

PreferencesPanel::~PreferencesPanel() = default;
