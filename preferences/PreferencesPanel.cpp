#include "preferences/PreferencesPanel.h"

#include "cells/DescriptionCell.h"
#include "preferences/RepositoryTableModel.h"
#include "sources/RepositoryEntry.h"

#include "ui_PreferencesPanel.h"

#include <QHeaderView>

PreferencesPanel::PreferencesPanel(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::PreferencesPanel>())
{
    m_ui->setupUi(this);
    QTableView* table = m_ui->repositoryTable;
    m_model = new RepositoryTableModel(
        {
            {RepositoryKey::name, QT_TRANSLATE_NOOP("Quillmor", "Name")},
            {RepositoryKey::description, QT_TRANSLATE_NOOP("Quillmor", "Description")},
            {RepositoryKey::urlDownload, QT_TRANSLATE_NOOP("Quillmor", "Address")},
        },
        table);
    table->setModel(m_model);
    m_descriptionCell = new DescriptionCell(table);
    table->setItemDelegateForColumn(m_model->columnOf(RepositoryKey::description),
                                    m_descriptionCell);
    // The header click reaches the model's sort(), which hands the new order to the table's
    // delegate; the table itself never reorders rows behind the source list.
    table->setSortingEnabled(true);
    QHeaderView* header = table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(true);
    table->setColumnWidth(0, 190);
    table->setColumnWidth(1, 300);
    table->verticalHeader()->setDefaultSectionSize(
        qMax(table->verticalHeader()->defaultSectionSize(), fontMetrics().height() + 12));
}

PreferencesPanel::~PreferencesPanel() = default;

QTableView* PreferencesPanel::repositoryTable() const
{
    return m_ui->repositoryTable;
}

QPushButton* PreferencesPanel::addButton() const
{
    return m_ui->addButton;
}

QPushButton* PreferencesPanel::removeButton() const
{
    return m_ui->removeButton;
}

QPushButton* PreferencesPanel::refreshButton() const
{
    return m_ui->refreshButton;
}

QPushButton* PreferencesPanel::okButton() const
{
    return m_ui->okButton;
}

QPushButton* PreferencesPanel::cancelButton() const
{
    return m_ui->cancelButton;
}
