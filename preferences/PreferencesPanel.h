#pragma once

// The preferences sheet of the main window. For now it only closes again: OK accepts,
// Cancel and Escape reject, and the Launcher learns which through finished().

#include <QDialog>

#include <memory>

namespace Ui {
class PreferencesPanel;
}

class PreferencesPanel : public QDialog
{
    Q_OBJECT
public:
    explicit PreferencesPanel(QWidget* parent = nullptr);
    ~PreferencesPanel() override;

private:
    std::unique_ptr<Ui::PreferencesPanel> m_ui;
};
