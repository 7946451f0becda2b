#include "launcher/AboutSheet.h"

#include "platform/Alert.h"
#include "platform/Bundle.h"
#include "platform/Desktop.h"
#include "platform/Localization.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QLabel* textLine(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// A label whose link takes the keyboard focus as Tab reaches it, so that Return opens the link
// rather than pressing the box's default button.
class LinkLabel : public QLabel
{
public:
    using QLabel::QLabel;

protected:
    void focusInEvent(QFocusEvent* event) override
    {
        QLabel::focusInEvent(event);
        if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason)
            focusNextPrevChild(event->reason() == Qt::TabFocusReason);
    }
};

} // namespace

AboutSheet::AboutSheet(QWidget* window) : QDialog(window)
{
    setObjectName(QStringLiteral("aboutSheet"));
    setWindowTitle(localizedString(QT_TRANSLATE_NOOP("Quillmor", "About Quillmor Launcher")));
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);

    auto* icon = new QLabel(this);
    icon->setPixmap(window ? window->windowIcon().pixmap(64, 64)
                           : QApplication::windowIcon().pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    QLabel* name = textLine(QStringLiteral("Quillmor Launcher"), this);
    QFont heading = name->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.4);
    name->setFont(heading);
    QLabel* version = textLine(localizedString(QT_TRANSLATE_NOOP("Quillmor", "Version %1"))
                                   .arg(QApplication::applicationVersion()),
                               this);
    QLabel* summary = textLine(localizedString(QT_TRANSLATE_NOOP(
                                   "Quillmor", "Keeps your Quillmor levels: plays, installs and "
                                               "updates them from level feeds.")),
                               this);
    QLabel* licence = textLine(
        localizedString(QT_TRANSLATE_NOOP(
            "Quillmor", "Free software under the GNU General Public License, version 3 or later.")),
        this);

    const QString website =
        Bundle::main().objectForInfoDictionaryKey(QStringLiteral("QuillmorWebsite")).toString();
    m_link = new LinkLabel(this);
    m_link->setObjectName(QStringLiteral("websiteLink"));
    m_link->setTextFormat(Qt::RichText);
    m_link->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                        .arg(website.toHtmlEscaped(), website.toHtmlEscaped()));
    // The box opens the page itself, so that an address that opens nothing is told.
    m_link->setOpenExternalLinks(false);
    m_link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    m_link->setVisible(!website.isEmpty());
    connect(m_link, &QLabel::linkActivated, this, &AboutSheet::openWebsite);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setText(QStringLiteral("OK"));
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    for (QWidget* line : {static_cast<QWidget*>(name), static_cast<QWidget*>(version),
                          static_cast<QWidget*>(summary), static_cast<QWidget*>(licence),
                          static_cast<QWidget*>(m_link)})
        texts->addWidget(line);
    texts->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addLayout(texts, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    summary->setMinimumWidth(fontMetrics().averageCharWidth() * 56);
    // Tab goes from the address to OK and back; OK has the focus at first.
    setTabOrder(m_link, ok);
    ok->setFocus();
}

AboutSheet* AboutSheet::showSheet(QWidget* window)
{
    auto* sheet = new AboutSheet(window);
    sheet->open();
    return sheet;
}

void AboutSheet::openWebsite(const QString& address)
{
    if (Desktop::openUrl(QUrl(address)))
        return;
    Alert::showSheet(
        this, localizedString(QT_TRANSLATE_NOOP("Quillmor", "The web page can't be opened.")),
        localizedString(QT_TRANSLATE_NOOP("Quillmor", "No web browser could be started for %1."))
            .arg(address),
        Alert::Warning);
}
