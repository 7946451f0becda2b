#include "launcher/LevelTableModel.h"

#include "install/Locations.h"
#include "platform/Contrast.h"
#include "platform/Localization.h"

#include <QGuiApplication>
#include <QHash>
#include <QIcon>
#include <QIconEngine>
#include <QPainter>

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

// The status column's icons, drawn at whatever size and scale they are asked for, in colours
// taken from the palette when drawn: a theme's own icons may be dark on a dark row.
class StatusIconEngine : public QIconEngine
{
public:
    explicit StatusIconEngine(LevelTableModel::Status status) : m_status(status) {}

    QIconEngine* clone() const override { return new StatusIconEngine(m_status); }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override
    {
        QPixmap drawn(size * scale);
        drawn.setDevicePixelRatio(scale);
        drawn.fill(Qt::transparent);
        QPainter painter(&drawn);
        paint(&painter, QRect(QPoint(), size), mode, state);
        return drawn;
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        using Status = LevelTableModel::Status;
        const QPalette palette = QGuiApplication::palette();
        const QList<QColor> rows{palette.color(QPalette::Base),
                                 palette.color(QPalette::AlternateBase)};
        // On a selected row the icon takes the selection's text colour, as the text does.
        const auto tint = [&](const QColor& hue) {
            return mode == QIcon::Selected ? palette.color(QPalette::HighlightedText)
                                           : readableTint(hue, rows, 3.0);
        };
        const qreal side = std::min(rect.width(), rect.height());
        const QRectF box(QRectF(rect).center() - QPointF(side, side) / 2, QSizeF(side, side));
        const auto at = [&](qreal x, qreal y) {
            return QPointF(box.left() + x * side, box.top() + y * side);
        };
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        QPen pen(Qt::black, std::max(1.5, side * 0.13), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        switch (m_status) {
        case Status::Installed:
        case Status::BuiltIn:
            pen.setColor(tint(QColor(0x2e, 0x9d, 0x3a)));
            painter->setPen(pen);
            painter->drawPolyline(QList<QPointF>{at(0.18, 0.55), at(0.42, 0.78), at(0.84, 0.26)});
            break;
        case Status::UpdateAvailable: {
            pen.setColor(tint(QColor(0x1e, 0x78, 0xd2)));
            painter->setPen(pen);
            const QRectF ring(at(0.2, 0.2), at(0.8, 0.8));
            painter->drawArc(ring, 100 * 16, 290 * 16);
            // The arrowhead at the ring's open end, pointing on round the circle.
            painter->drawPolyline(QList<QPointF>{at(0.3, 0.1), at(0.5, 0.2), at(0.34, 0.36)});
            break;
        }
        case Status::Missing: {
            const QColor warning = tint(QColor(0xd0, 0x1b, 0x1b));
            pen.setColor(warning);
            pen.setWidthF(std::max(1.2, side * 0.09));
            painter->setPen(pen);
            painter->drawPolygon(QPolygonF{at(0.5, 0.1), at(0.92, 0.86), at(0.08, 0.86)});
            pen.setWidthF(std::max(1.5, side * 0.12));
            painter->setPen(pen);
            painter->drawLine(at(0.5, 0.38), at(0.5, 0.58));
            painter->drawPoint(at(0.5, 0.72));
            break;
        }
        case Status::Available:
            pen.setColor(tint(palette.color(QPalette::Text)));
            painter->setPen(pen);
            painter->drawLine(at(0.5, 0.12), at(0.5, 0.66));
            painter->drawPolyline(QList<QPointF>{at(0.28, 0.45), at(0.5, 0.67), at(0.72, 0.45)});
            painter->drawLine(at(0.18, 0.86), at(0.82, 0.86));
            break;
        }
        painter->restore();
    }

private:
    LevelTableModel::Status m_status;
};

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
            // One icon a state, made once: it draws itself in the palette of the moment.
            static QHash<int, QIcon> icons;
            const Status status = statusOf(entry);
            auto icon = icons.find(int(status));
            if (icon == icons.end())
                icon = icons.insert(int(status), QIcon(new StatusIconEngine(status)));
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
