#include "launcher/LevelFinder.h"

#include "install/Locations.h"
#include "launcher/LevelTableModel.h"
#include "platform/Localization.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The four texts a row shows, in this order: name, author, description, source. A line break
// between them keeps a typed text from matching across two columns.
const QString kSourceColumn = QStringLiteral("source");

// "1 level installed" reads wrong as "1 levels installed" in English, where no translation
// is loaded; a translation picks its plural forms for every other count from the %n text.
QString countText(int count, const char* one, const char* many)
{
    if (count == 1)
        return localizedString(one);
    return QCoreApplication::translate("Quillmor", many, nullptr, count);
}

// One slice of folding while the window is idle: short enough not to be felt between two
// events.
constexpr qint64 kFoldSliceNsecs = 4'000'000;

// Folds ASCII text in place, a character at a time, without the copies a general fold makes;
// most of a catalogue's texts are ASCII.
void appendFolded(QString& folded, const QString& text)
{
    const qsizetype start = folded.size();
    folded.resize(start + text.size());
    QChar* to = folded.data() + start;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x80) {
            folded.resize(start);
            folded.append(LevelFinder::foldedForFind(text));
            return;
        }
        *to++ = QChar(u >= u'A' && u <= u'Z' ? char16_t(u + 32) : u);
    }
}

} // namespace

LevelFinder::LevelFinder(QTableView* table, LevelTableModel* model, QLineEdit* filter,
                         QLabel* counts, QObject* parent)
    : QObject(parent), m_table(table), m_model(model), m_filter(filter), m_counts(counts)
{
    if (filter)
        connect(filter, &QLineEdit::textChanged, this, &LevelFinder::levelFilterDidChange);
}

QString LevelFinder::foldedForFind(const QString& text)
{
    // Most texts are plain ASCII, where decomposing changes nothing: skipping it keeps a
    // catalogue's worth of rows quick to fold.
    const bool ascii =
        std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
    if (ascii)
        return text.toLower();
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString bare;
    bare.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (!c.isMark())
            bare.append(c);
    }
    return bare.toCaseFolded();
}

void LevelFinder::levelsDidReload()
{
    // Folded again in slices while the window is idle, so that the first keystroke finds them
    // ready and the reload itself does not wait for them.
    m_foldedRows.clear();
    m_foldedSources.clear();
    if (!m_foldTimer) {
        m_foldTimer = new QTimer(this);
        connect(m_foldTimer, &QTimer::timeout, this, [this] {
            if (foldRows(kFoldSliceNsecs))
                m_foldTimer->stop();
        });
    }
    m_foldTimer->start(0);
    applyLevelFilter();
    updateLevelCounts();
}

bool LevelFinder::foldRows(qint64 budgetNsecs)
{
    const int rows = m_model->rowCount();
    m_foldedRows.reserve(rows);
    QElapsedTimer clock;
    clock.start();
    for (int row = int(m_foldedRows.size()); row < rows; ++row) {
        if (budgetNsecs >= 0 && row % 64 == 0 && clock.nsecsElapsed() > budgetNsecs)
            return false;
        const LevelEntry& entry = m_model->levelAt(row);
        // Many levels share a feed, and naming a feed from its URL may parse it: asked and
        // folded once each.
        const QString source = entry.value(LevelKey::urlSource).toString();
        auto name = m_foldedSources.constFind(source);
        if (name == m_foldedSources.cend())
            name = m_foldedSources.insert(
                source, foldedForFind(m_model->displayText(entry, kSourceColumn)));
        const QString texts[] = {entry.value(LevelKey::name).toString(),
                                 entry.value(LevelKey::author).toString(),
                                 entry.value(LevelKey::description).toString()};
        QString folded;
        folded.reserve(texts[0].size() + texts[1].size() + texts[2].size() + name->size() + 3);
        for (const QString& text : texts) {
            appendFolded(folded, text);
            folded.append(u'\n');
        }
        folded.append(*name);
        m_foldedRows.append(folded);
    }
    return true;
}

void LevelFinder::levelFilterDidChange()
{
    m_foldedFilter = m_filter ? foldedForFind(m_filter->text()) : QString();
    applyLevelFilter();
    updateLevelCounts();
}

void LevelFinder::showWhenNothingMatches()
{
    const bool nothing = !m_foldedFilter.isEmpty() && m_shownRows == 0;
    if (!nothing && !m_nothingMatches)
        return;
    if (!m_nothingMatches) {
        // Laid out on the table's viewport, so it stays centred in whatever room the table has.
        QWidget* viewport = m_table->viewport();
        auto* layout = new QVBoxLayout(viewport);
        m_nothingMatches = new QLabel(viewport);
        m_nothingMatches->setAlignment(Qt::AlignCenter);
        m_nothingMatches->setWordWrap(true);
        m_nothingMatches->setTextFormat(Qt::PlainText);
        m_nothingMatches->setForegroundRole(QPalette::PlaceholderText);
        layout->addWidget(m_nothingMatches);
    }
    m_nothingMatches->setText(
        localizedString(QT_TRANSLATE_NOOP("Quillmor", "No levels match \"%1\""))
            .arg(m_filter->text().trimmed()));
    m_nothingMatches->setVisible(nothing);
}

void LevelFinder::applyLevelFilter()
{
    if (!m_table)
        return;
    const int rows = m_model->rowCount();
    if (!m_foldedFilter.isEmpty() && m_foldedRows.size() != rows)
        foldRows(-1);
    m_shownRows = 0;
    for (int row = 0; row < rows; ++row) {
        const bool hide =
            !m_foldedFilter.isEmpty() && !m_foldedRows.at(row).contains(m_foldedFilter);
        if (m_table->isRowHidden(row) != hide)
            m_table->setRowHidden(row, hide);
        m_shownRows += hide ? 0 : 1;
    }
    showWhenNothingMatches();
    // A selection nobody can see would still be played, installed or deleted by the
    // commands: the nearest row shown takes it, so that the row with the focus is the one
    // Return plays. Only where no row is shown does the selection go.
    QItemSelectionModel* selection = m_table->selectionModel();
    if (!selection)
        return;
    const QModelIndexList selected = selection->selectedRows();
    if (!selected.isEmpty() && !m_table->isRowHidden(selected.first().row()))
        return;
    if (selected.isEmpty() && m_foldedFilter.isEmpty())
        return;
    const QModelIndex current = selection->currentIndex();
    emit selectionHidden(!selected.isEmpty() ? selected.first().row()
                                             : (current.isValid() ? current.row() : 0));
}

int LevelFinder::nearestShownRow(int row) const
{
    const int rows = m_model->rowCount();
    for (int candidate = row; candidate < rows; ++candidate) {
        if (!m_table->isRowHidden(candidate))
            return candidate;
    }
    for (int candidate = row - 1; candidate >= 0; --candidate) {
        if (!m_table->isRowHidden(candidate))
            return candidate;
    }
    return row;
}

void LevelFinder::updateLevelCounts()
{
    int installed = 0;
    int updates = 0;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const LevelEntry& entry = m_model->levelAt(row);
        if (!entry.value(LevelKey::urlInstall).toString().isEmpty() &&
            !LevelTableModel::isMissing(entry))
            ++installed;
        if (checkInstall(entry) == UpdateAvailable)
            ++updates;
    }
    m_updatesAvailable = updates;
    // While the filter hides rows, the line says first how many are shown.
    QString shown;
    if (!m_foldedFilter.isEmpty())
        shown = localizedString(QT_TRANSLATE_NOOP("Quillmor", "Showing %1 of %2 — "))
                    .arg(m_shownRows)
                    .arg(m_model->rowCount());
    if (m_counts)
        m_counts->setText(shown +
                          countText(installed, QT_TRANSLATE_NOOP("Quillmor", "1 level installed"),
                                    QT_TRANSLATE_N_NOOP("Quillmor", "%n levels installed")) +
                          localizedString(QT_TRANSLATE_NOOP("Quillmor", ", ")) +
                          countText(updates, QT_TRANSLATE_NOOP("Quillmor", "1 update available"),
                                    QT_TRANSLATE_N_NOOP("Quillmor", "%n updates available")));
    emit countsChanged();
}
