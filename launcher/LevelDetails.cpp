#include "launcher/LevelDetails.h"

#include "install/Locations.h"
#include "launcher/LevelPictures.h"
#include "launcher/LevelTableModel.h"
#include "platform/Localization.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDirIterator>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QScrollArea>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// Room for the picture at the pane's left, in device-independent pixels.
constexpr QSize kPictureSize(160, 120);

struct FolderFacts
{
    QDateTime modified; // invalid when the folder is not there
    qint64 size = 0;
};

// Runs on a worker: a level folder may hold many files.
FolderFacts folderFacts(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.isDir())
        return {};
    FolderFacts facts{info.lastModified(), 0};
    QDirIterator files(folder, QDir::Files | QDir::Hidden | QDir::System,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        files.next();
        if (!files.fileInfo().isSymLink())
            facts.size += files.fileInfo().size();
    }
    return facts;
}

// A text a person may select and reach with Tab, which a screen reader reads as it stands.
QLabel* textLabel(QWidget* parent, const char* name)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText); // feeds write these texts, never markup for us
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    // After the flags, which set a focus policy of their own that Tab passes over.
    label->setFocusPolicy(Qt::StrongFocus);
    label->hide();
    return label;
}

// Sizes in the locale's units; below a kilobyte in bytes counted as the language counts them
// ("1 byte", not "1 bytes").
QString diskSize(const QLocale& locale, qint64 bytes)
{
    if (bytes >= 1024)
        return locale.formattedDataSize(bytes);
    if (bytes == 1)
        return localizedString(QT_TRANSLATE_NOOP("Quillmor", "1 byte"));
    static const char* const many = QT_TRANSLATE_N_NOOP("Quillmor", "%n bytes");
    return QCoreApplication::translate("Quillmor", many, nullptr, int(bytes));
}

void setShownText(QLabel* label, const QString& text)
{
    label->setText(text);
    label->setVisible(!text.isEmpty());
}

} // namespace

LevelDetails::LevelDetails(QWidget* parent) : QWidget(parent), m_pictures(new LevelPictures(this))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 4, 0, 0);
    m_picture = new QLabel(this);
    m_picture->setObjectName(QStringLiteral("levelPicture"));
    m_picture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    m_picture->setMinimumWidth(kPictureSize.width());
    m_picture->hide();
    row->addWidget(m_picture, 0, Qt::AlignTop);

    // The texts scroll when the player makes the pane smaller than they are.
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setFocusPolicy(Qt::NoFocus);
    auto* texts = new QWidget(scroll);
    auto* column = new QVBoxLayout(texts);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    m_placeholder = textLabel(texts, "levelDetailsPlaceholder");
    m_placeholder->setText(
        localizedString(QT_TRANSLATE_NOOP("Quillmor", "Select a level to see its details.")));
    m_name = textLabel(texts, "levelDetailsName");
    QFont heading = m_name->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.15);
    m_name->setFont(heading);
    m_author = textLabel(texts, "levelDetailsAuthor");
    m_description = textLabel(texts, "levelDetailsDescription");
    m_source = textLabel(texts, "levelDetailsSource");
    m_installed = textLabel(texts, "levelDetailsInstalled");
    m_website = new QLabel(texts);
    m_website->setObjectName(QStringLiteral("levelDetailsWebsite"));
    m_website->setTextFormat(Qt::RichText);
    m_website->setTextInteractionFlags(Qt::TextBrowserInteraction);
    m_website->hide();
    // Opened by whoever is told, who checks the address and says why it cannot open.
    connect(m_website, &QLabel::linkActivated, this, [this] {
        if (m_model && m_row >= 0 && m_row < m_model->rowCount())
            emit websiteRequested(m_model->index(m_row, 0));
    });
    for (QLabel* label :
         {m_placeholder, m_name, m_author, m_description, m_source, m_installed, m_website})
        column->addWidget(label);
    column->addStretch(1);
    scroll->setWidget(texts);
    row->addWidget(scroll, 1);

    connect(m_pictures, &LevelPictures::pictureReady, this, &LevelDetails::showPicture);
    showSelected();
}

void LevelDetails::setTable(QTableView* table)
{
    m_table = table;
    m_model = qobject_cast<LevelTableModel*>(table->model());
    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &LevelDetails::showSelected);
    // A reload clears the selection quietly and the launcher selects the level again after:
    // the pane looks once that is done.
    connect(m_model, &QAbstractItemModel::modelReset, this,
            [this] { QTimer::singleShot(0, this, &LevelDetails::showSelected); });
    // Tab goes from the table to the texts, in the order they are read.
    QWidget* previous = table;
    for (QLabel* label : {m_placeholder, m_name, m_author, m_description, m_source, m_installed,
                          m_website}) {
        QWidget::setTabOrder(previous, label);
        previous = label;
    }
    showSelected();
}

void LevelDetails::showSelected()
{
    const QModelIndexList selected =
        m_table ? m_table->selectionModel()->selectedRows() : QModelIndexList();
    m_row = selected.isEmpty() || !m_model ? -1 : selected.first().row();
    if (m_row >= 0) {
        showLevel(m_model->levelAt(m_row));
        return;
    }
    for (QLabel* label : {m_name, m_author, m_description, m_source, m_installed, m_website})
        label->hide();
    m_placeholder->show();
    showFolder({});
    m_pictureUrl = QUrl();
    m_pictures->cancel();
    m_picture->hide();
}

void LevelDetails::showLevel(const LevelEntry& entry)
{
    m_placeholder->hide();
    const QString name = entry.value(LevelKey::name).toString();
    setShownText(m_name, name);
    const QString author = entry.value(LevelKey::author).toString();
    setShownText(m_author,
                 author.isEmpty()
                     ? QString()
                     : localizedString(QT_TRANSLATE_NOOP("Quillmor", "By %1")).arg(author));
    setShownText(m_description, entry.value(LevelKey::description).toString());
    const QString source = m_model->displayText(entry, QStringLiteral("source"));
    setShownText(m_source,
                 source.isEmpty()
                     ? QString()
                     : localizedString(QT_TRANSLATE_NOOP("Quillmor", "Source: %1")).arg(source));
    const QUrl website = urlForKey(entry, LevelKey::urlWebsite);
    if (website.isValid() && !website.host().isEmpty() &&
        (website.scheme() == u"http" || website.scheme() == u"https")) {
        const QString shown =
            m_website->fontMetrics().elidedText(website.toDisplayString(), Qt::ElideMiddle, 480);
        const QString link =
            QStringLiteral("<a href=\"%1\">%2</a>")
                .arg(website.toString(QUrl::FullyEncoded).toHtmlEscaped(), shown.toHtmlEscaped());
        m_website->setText(
            localizedString(QT_TRANSLATE_NOOP("Quillmor", "Web page: %1")).arg(link));
        m_website->show();
    } else {
        m_website->hide();
    }

    const QUrl folder = urlForKey(entry, LevelKey::urlInstall);
    showFolder(folder.isLocalFile() ? folder.toLocalFile() : QString());

    const QUrl picture = urlForKey(entry, LevelKey::urlThumbnail);
    m_picture->setAccessibleName(
        localizedString(QT_TRANSLATE_NOOP("Quillmor", "Picture of %1")).arg(name));
    if (picture == m_pictureUrl)
        return; // shown already, on its way, or known to be missing
    m_pictureUrl = picture;
    m_picture->hide();
    const qreal ratio = devicePixelRatioF();
    if (picture.isValid())
        m_pictures->request(picture, kPictureSize * ratio);
    else
        m_pictures->cancel();
}

void LevelDetails::showFolder(const QString& folder)
{
    // The same folder's facts stay until the new ones arrive: a reload must not flicker.
    if (folder != m_folder)
        m_installed->hide();
    m_folder = folder;
    if (folder.isEmpty())
        return;
    auto* watcher = new QFutureWatcher<FolderFacts>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, folder] {
        watcher->deleteLater();
        const FolderFacts facts = watcher->result();
        if (folder != m_folder)
            return;
        const QLocale locale;
        setShownText(
            m_installed,
            !facts.modified.isValid()
                ? QString()
                : localizedString(QT_TRANSLATE_NOOP("Quillmor", "Installed on %1, %2 on disk"))
                      .arg(locale.toString(facts.modified.date(), QLocale::ShortFormat),
                           diskSize(locale, facts.size)));
    });
    watcher->setFuture(QtConcurrent::run(folderFacts, folder));
}

void LevelDetails::showPicture(const QUrl& url, const QImage& picture)
{
    if (url != m_pictureUrl || picture.isNull()) {
        if (url == m_pictureUrl)
            m_picture->hide();
        return;
    }
    QPixmap pixmap = QPixmap::fromImage(picture);
    pixmap.setDevicePixelRatio(devicePixelRatioF());
    m_picture->setPixmap(pixmap);
    m_picture->show();
}
