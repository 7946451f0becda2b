#pragma once

// The preferences panel: the table of level feeds with Add, Remove and Refresh, closed with
// OK or Cancel. It only shows; its table's model and description cell answer to Preferences
// once that controller is given the table, and Preferences decides when the panel closes.

#include <QDialog>

#include <memory>

class DescriptionCell;
class QPushButton;
class QTableView;
class RepositoryTableModel;
namespace Ui {
class PreferencesPanel;
}

class PreferencesPanel : public QDialog
{
    Q_OBJECT
public:
    explicit PreferencesPanel(QWidget* parent = nullptr);
    ~PreferencesPanel() override;

    QTableView* repositoryTable() const;
    RepositoryTableModel* repositoryModel() const { return m_model; }
    DescriptionCell* descriptionCell() const { return m_descriptionCell; }
    QPushButton* addButton() const;
    QPushButton* removeButton() const;
    QPushButton* refreshButton() const;
    QPushButton* okButton() const;
    QPushButton* cancelButton() const;

    // Escape and the window's close button go through the controller's Cancel, which puts
    // the saved list back before the panel closes.
    void reject() override { emit cancelRequested(); }

signals:
    void cancelRequested();

private:
    std::unique_ptr<Ui::PreferencesPanel> m_ui;
    RepositoryTableModel* m_model = nullptr;
    DescriptionCell* m_descriptionCell = nullptr;
};
