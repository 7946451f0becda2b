#include "launcher/LevelTableModel.h"

#include "install/Locations.h"
#include "platform/Contrast.h"
#include "platform/Localization.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHash>
#include <QIcon>
#include <QStyle>

bool LevelTableModel::isMissing(const LevelEntry& entry)
{
    return !entry.value(LevelKey::urlInstall).toString().isEmpty() &&
           !entry.value(LevelKey::exists).toBool();
}

LevelTableModel::Status LevelTableModel::statusOf(const LevelEntry& entry)
{
    if (isMissing(entry))
        return Status::Missing;
    switch (checkInstall(entry)) {
    case NotInstalled:
        return Status::Available;
    case UpdateAvailable:
        return Status::UpdateAvailable;
    case UpToDate:
        return Status::Installed;
    case NotDownloadable:
        break;
    }
    return LevelIdentity::of(entry).isBuiltIn() ? Status::BuiltIn : Status::Installed;
}

QString LevelTableModel::statusText(Status status)
{
    switch (status) {
    case Status::UpdateAvailable:
        return localizedString(QT_TRANSLATE_NOOP("Quillmor", "Update available"));
    case Status::Missing:
        return localizedString(QT_TRANSLATE_NOOP("Quillmor", "Missing"));
    case Status::Installed:
        return localizedString(QT_TRANSLATE_NOOP("Quillmor", "Installed"));
    case Status::BuiltIn:
        return localizedString(QT_TRANSLATE_NOOP("Quillmor", "Built in"));
    case Status::Available:
        return localizedString(QT_TRANSLATE_NOOP("Quillmor", "Available"));
    }
    return {};
}

QColor LevelTableModel::missingColour(const QPalette& palette)
{
    // Asked for every cell drawn: worked out again only when the rows' colours change.
    static QRgb base = 0, alternate = 0;
    static QColor colour;
    const QRgb nowBase = palette.color(QPalette::Base).rgba();
    const QRgb nowAlternate = palette.color(QPalette::AlternateBase).rgba();
    if (!colour.isValid() || nowBase != base || nowAlternate != alternate) {
        base = nowBase;
        alternate = nowAlternate;
        colour =
            readableTint(QColor(Qt::red), {QColor::fromRgba(base), QColor::fromRgba(alternate)});
    }
    return colour;
}

namespace {

QIcon statusIcon(LevelTableModel::Status status)
{
    QStyle* style = QApplication::style();
    switch (status) {
    case LevelTableModel::Status::UpdateAvailable:
        return QIcon::fromTheme(QStringLiteral("software-update-available"),
                                style->standardIcon(QStyle::SP_BrowserReload));
    case LevelTableModel::Status::Missing:
        return QIcon::fromTheme(QStringLiteral("dialog-warning"),
                                style->standardIcon(QStyle::SP_MessageBoxWarning));
    case LevelTableModel::Status::Installed:
    case LevelTableModel::Status::BuiltIn:
        return QIcon::fromTheme(QStringLiteral("emblem-ok-symbolic"),
                                style->standardIcon(QStyle::SP_DialogApplyButton));
    case LevelTableModel::Status::Available:
        return QIcon::fromTheme(QStringLiteral("folder-download"),
                                style->standardIcon(QStyle::SP_ArrowDown));
    }
    return {};
}

} // namespace

LevelTableModel::LevelTableModel(const QStringList& columns, QObject* parent)
    : QAbstractTableModel(parent), m_columns(columns)
{
}

void LevelTableModel::setLevels(QList<LevelEntry> levels)
{
    beginResetModel();
    m_levels = std::move(levels);
    endResetModel();
}

int LevelTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_levels.size());
}

int LevelTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QString LevelTableModel::displayText(const LevelEntry& entry, const QString& column) const
{
    if (column == u"status")
        return statusText(statusOf(entry));
    if (column == u"source") {
        const QString source = entry.value(LevelKey::urlSource).toString();
        return m_sourceName ? m_sourceName(source) : source;
    }
    return entry.value(column).toString();
}

QVariant LevelTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const LevelEntry& entry = m_levels.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
    case Qt::AccessibleTextRole:
        return displayText(entry, m_columns.value(index.column()));
    case Qt::ForegroundRole:
        // An installed level whose folder is gone stands out; the rest keep the standard colour.
        // A selected row is drawn in the selection's own text colour, which reads on it.
        return isMissing(entry) ? QVariant(missingColour(QGuiApplication::palette())) : QVariant();
    case Qt::DecorationRole:
        if (m_columns.value(index.column()) != u"status")
            return {};
        {
            // Made once a state: the style's icons are drawn anew for each copy asked.
            static QHash<int, QIcon> icons;
            const Status status = statusOf(entry);
            auto icon = icons.find(int(status));
            if (icon == icons.end())
                icon = icons.insert(int(status), statusIcon(status));
            return *icon;
        }
    case Qt::AccessibleDescriptionRole: {
        // The description cell's buttons are drawn, not widgets: a screen reader learns of them
        // here, and finds the same commands in the Level menu and the row's context menu.
        if (m_columns.value(index.column()) != u"description")
            return {};
        QStringList buttons;
        const InstallState state = checkInstall(entry);
        if (state == NotInstalled)
            buttons << localizedString(QT_TRANSLATE_NOOP("Quillmor", "Install"));
        else if (state == UpdateAvailable)
            buttons << localizedString(QT_TRANSLATE_NOOP("Quillmor", "Update"));
        if (!entry.value(LevelKey::urlWebsite).toString().isEmpty())
            buttons << localizedString(QT_TRANSLATE_NOOP("Quillmor", "Web page"));
        if (buttons.isEmpty())
            return {};
        return localizedString(
                   QT_TRANSLATE_NOOP("Quillmor", "Buttons: %1. The Level menu has them too."))
            .arg(buttons.join(localizedString(QT_TRANSLATE_NOOP("Quillmor", ", "))));
    }
    case InstallStateRole:
        return int(checkInstall(entry));
    case WebAddressRole:
        return entry.value(LevelKey::urlWebsite).toString();
    case MissingRole:
        return isMissing(entry);
    case IdentityRole:
        return QVariant::fromValue(LevelIdentity::of(entry));
    default:
        return {};
    }
}

QVariant LevelTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    // A first click on a header sorts upwards, as the fallback order does.
    if (role == Qt::InitialSortOrderRole)
        return int(Qt::AscendingOrder);
    if (role != Qt::DisplayRole)
        return {};
    const QString id = m_columns.value(section);
    if (id == u"name")
        return localizedString(QT_TRANSLATE_NOOP("Quillmor", "Name"));
    if (id == u"author")
        return localizedString(QT_TRANSLATE_NOOP("Quillmor", "Author"));
    if (id == u"description")
        return localizedString(QT_TRANSLATE_NOOP("Quillmor", "Description"));
    if (id == u"source")
        return localizedString(QT_TRANSLATE_NOOP("Quillmor", "Source"));
    if (id == u"status")
        return localizedString(QT_TRANSLATE_NOOP("Quillmor", "Status"));
    return id;
}
