#include "launcher/DropTarget.h"

#include "launcher/LevelLinks.h"
#include "launcher/OpenTarget.h"
#include "platform/Localization.h"

#include <QDropEvent>
#include <QMimeData>
#include <QPainter>
#include <QWidget>

namespace {

// A wash over the table with a dashed edge and the text on a plate of the window's colour,
// which reads over any row.
class DropIndication : public QWidget
{
public:
    explicit DropIndication(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setObjectName(QStringLiteral("dropIndication"));
        hide();
    }
    QString text() const
    {
        return localizedString(QT_TRANSLATE_NOOP("Quillmor", "Drop to install"));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor wash = palette().color(QPalette::Highlight);
        wash.setAlpha(48);
        painter.fillRect(rect(), wash);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2, Qt::DashLine));
        painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
        QFont big = font();
        big.setPointSizeF(big.pointSizeF() * 1.5);
        big.setBold(true);
        painter.setFont(big);
        const QFontMetrics metrics(big);
        QRect plate = metrics.boundingRect(text());
        plate.adjust(-2 * metrics.height(), -metrics.height(), 2 * metrics.height(),
                     metrics.height());
        plate.moveCenter(rect().center());
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.setBrush(palette().color(QPalette::Window));
        painter.drawRoundedRect(plate, metrics.height() / 2.0, metrics.height() / 2.0);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(plate, Qt::AlignCenter, text());
    }
};

// Copying, or a link, leaves the dragged file where it is; a move would have the file manager
// remove it.
bool chooseCopy(QDropEvent* event)
{
    for (const Qt::DropAction action : {Qt::CopyAction, Qt::LinkAction}) {
        if (event->possibleActions() & action) {
            event->setDropAction(action);
            return true;
        }
    }
    return false;
}

} // namespace

DropTarget::DropTarget(QWidget* window, QWidget* table, LevelLinks* links)
    : QObject(window), m_table(table), m_links(links), m_indication(new DropIndication(table))
{
    window->setAcceptDrops(true);
    window->installEventFilter(this);
}

QList<QUrl> DropTarget::droppable(const QMimeData* data)
{
    const QList<QUrl> urls = data && data->hasUrls() ? data->urls() : QList<QUrl>();
    for (const QUrl& url : urls) {
        if (!isDroppable(url))
            return {};
    }
    return urls;
}

bool DropTarget::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        if (droppable(drag->mimeData()).isEmpty() || !chooseCopy(drag)) {
            drag->ignore();
            return true;
        }
        drag->accept();
        m_indication->setGeometry(m_table->rect());
        m_indication->raise();
        m_indication->show();
        return true;
    }
    case QEvent::DragLeave:
        m_indication->hide();
        return true;
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        m_indication->hide();
        const QList<QUrl> urls = droppable(drop->mimeData());
        if (urls.isEmpty() || !chooseCopy(drop)) {
            drop->ignore();
            return true;
        }
        drop->accept();
        // After the drop has ended: the dragging program waits for its answer.
        QMetaObject::invokeMethod(
            m_links, [links = m_links, urls] { links->open(urls); }, Qt::QueuedConnection);
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}
