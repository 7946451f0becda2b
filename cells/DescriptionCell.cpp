#include "cells/DescriptionCell.h"

#include "install/Locations.h"
#include "platform/Localization.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace {

QStyle* styleOf(const QWidget* widget)
{
    return widget ? widget->style() : QApplication::style();
}

// The buttons keep a push button's own font rather than the table's.
QFont buttonFont()
{
    return QApplication::font("QPushButton");
}

} // namespace

DescriptionCell::DescriptionCell(QObject* parent) : QStyledItemDelegate(parent)
{
    // The web page button shows a globe; its title is what a screen reader or tooltip says.
    m_wwwButton = {localizedString(QT_TRANSLATE_NOOP("Quillmor", "Web page")), Button::Www};
    m_updateButton = {localizedString(QT_TRANSLATE_NOOP("Quillmor", "Update")), Button::Update};
    m_installButton = {localizedString(QT_TRANSLATE_NOOP("Quillmor", "Install")), Button::Install};
}

QString DescriptionCell::title(Button kind) const
{
    switch (kind) {
    case Button::Install:
        return m_installButton.title;
    case Button::Update:
        return m_updateButton.title;
    case Button::Www:
        return m_wwwButton.title;
    }
    return {};
}

void DescriptionCell::press(QAbstractItemView* view, const QModelIndex& index, Button kind)
{
    // The row acted on is the one selected, as after any other click on it.
    if (QItemSelectionModel* selection = view ? view->selectionModel() : nullptr)
        selection->setCurrentIndex(index,
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    emit buttonClicked(index, kind);
}

int DescriptionCell::buttonsWidth(const QWidget* widget) const
{
    return naturalWidth(m_installButton, widget) + naturalWidth(m_wwwButton, widget);
}

bool DescriptionCell::isShown(Button kind, const QModelIndex& index)
{
    if (kind == Button::Www)
        return !index.data(WebAddressRole).toString().isEmpty();
    // A model without install states (the sources table) answers none, which must not read
    // as 0, NotInstalled.
    bool known = false;
    const int state = index.data(InstallStateRole).toInt(&known);
    return known && state == (kind == Button::Install ? NotInstalled : UpdateAvailable);
}

DescriptionCell::Layout DescriptionCell::layout(const QRect& frame, const QModelIndex& index,
                                                const QWidget* widget) const
{
    Layout parts;
    int width = frame.width();
    const auto place = [&](const ButtonCell& button, std::optional<QRect>& rect) {
        if (!isShown(button.kind, index))
            return;
        const int buttonWidth = naturalWidth(button, widget);
        rect = QRect(frame.x() + width - buttonWidth, frame.y(), buttonWidth, frame.height());
        width -= buttonWidth;
    };
    place(m_wwwButton, parts.www);
    place(m_updateButton, parts.update);
    place(m_installButton, parts.install);
    parts.text = QRect(frame.x(), frame.y(), std::max(width, 0), frame.height());
    return parts;
}

int DescriptionCell::naturalWidth(const ButtonCell& button, const QWidget* widget) const
{
    QStyleOptionButton option;
    if (widget)
        option.initFrom(widget);
    option.fontMetrics = QFontMetrics(buttonFont());
    const int padding = option.fontMetrics.averageCharWidth() * 2;
    QStyle* style = styleOf(widget);
    if (button.kind == Button::Www) {
        const int icon = style->pixelMetric(QStyle::PM_SmallIconSize, nullptr, widget);
        return style->sizeFromContents(QStyle::CT_PushButton, &option, QSize(icon, icon), widget)
                   .width() +
               padding / 2;
    }
    // Install and Update take the same width, so a row's button keeps its place when one
    // turns into the other. The titles stay out of the option: styles widen any push button
    // with a title to the minimum width of a dialog button.
    int title = 0;
    for (const ButtonCell* cell : {&m_installButton, &m_updateButton})
        title = std::max(title, option.fontMetrics.horizontalAdvance(cell->title));
    const QSize content(title, option.fontMetrics.height());
    return style->sizeFromContents(QStyle::CT_PushButton, &option, content, widget).width() +
           padding;
}

void DescriptionCell::drawButton(QPainter* painter, const ButtonCell& button, const QRect& rect,
                                 bool pressed, const QStyleOptionViewItem& cell) const
{
    QStyleOptionButton option;
    if (cell.widget)
        option.initFrom(cell.widget);
    option.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver);
    option.state |= pressed ? QStyle::State_Sunken : QStyle::State_Raised;
    // A little air above and below, so that the buttons of neighbouring rows do not touch.
    const int inset = rect.height() >= 24 ? 2 : 1;
    option.rect = rect.adjusted(1, inset, -1, -inset);
    option.fontMetrics = QFontMetrics(buttonFont());
    if (button.kind != Button::Www)
        option.text = button.title;
    painter->save();
    painter->setFont(buttonFont());
    QStyle* style = styleOf(cell.widget);
    if (button.kind != Button::Www) {
        style->drawControl(QStyle::CE_PushButton, &option, painter, cell.widget);
        painter->restore();
        return;
    }
    style->drawControl(QStyle::CE_PushButtonBevel, &option, painter, cell.widget);
    // A globe, in the button's own text colour, so that it reads in light and dark themes.
    const QRect face = style->subElementRect(QStyle::SE_PushButtonContents, &option, cell.widget);
    const qreal radius = std::min(face.width(), face.height()) * 0.36;
    const QPointF centre = QRectF(face).center();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(option.palette.color(QPalette::ButtonText), std::max(1.0, radius / 6)));
    painter->setBrush(Qt::NoBrush);
    painter->drawEllipse(centre, radius, radius);
    painter->drawEllipse(centre, radius * 0.42, radius);
    painter->drawLine(QPointF(centre.x() - radius, centre.y()),
                      QPointF(centre.x() + radius, centre.y()));
    for (const qreal y : {-0.5, 0.5}) {
        const qreal half = radius * std::sqrt(1 - y * y);
        painter->drawLine(QPointF(centre.x() - half, centre.y() + y * radius),
                          QPointF(centre.x() + half, centre.y() + y * radius));
    }
    painter->restore();
}

bool DescriptionCell::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (event->type() == QEvent::ToolTip && view) {
        if (const ButtonCell* button = buttonAt(view, index, event->pos())) {
            // The web page button names the address it opens; the others say what they do.
            const QString address = index.data(WebAddressRole).toString();
            QToolTip::showText(event->globalPos(),
                               button->kind == Button::Www ? address : button->title, view);
            return true;
        }
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

void DescriptionCell::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const
{
    const Layout parts = layout(option.rect, index, option.widget);

    painter->save();
    // Buttons wider than a narrow column must not spill into the neighbouring one.
    painter->setClipRect(option.rect, Qt::IntersectClip);
    // The row's selection colour runs on behind the buttons' rounded corners.
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    background.icon = QIcon();
    styleOf(option.widget)
        ->drawPrimitive(QStyle::PE_PanelItemViewItem, &background, painter, option.widget);
    if (!parts.text.isEmpty()) {
        QStyleOptionViewItem text = option;
        text.rect = parts.text;
        // Wrapped text would crowd a row built for one line of buttons; it is elided instead.
        text.features &= ~QStyleOptionViewItem::WrapText;
        QStyledItemDelegate::paint(painter, text, index);
    }
    const auto draw = [&](const ButtonCell& button, const std::optional<QRect>& rect) {
        if (!rect)
            return;
        const bool pressed = m_trackCell == &button && m_trackInside && m_trackIndex == index;
        drawButton(painter, button, *rect, pressed, option);
    };
    draw(m_wwwButton, parts.www);
    draw(m_updateButton, parts.update);
    draw(m_installButton, parts.install);
    painter->restore();
}

QSize DescriptionCell::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const Layout parts = layout(QRect(0, 0, 0, size.height()), index, option.widget);
    for (const auto& rect : {parts.www, parts.update, parts.install}) {
        if (rect)
            size.rwidth() += rect->width();
    }
    return size;
}

std::optional<QRect> DescriptionCell::rectOf(const ButtonCell* button, const Layout& parts) const
{
    if (button == &m_wwwButton)
        return parts.www;
    if (button == &m_updateButton)
        return parts.update;
    if (button == &m_installButton)
        return parts.install;
    return std::nullopt;
}

const DescriptionCell::ButtonCell* DescriptionCell::buttonAt(QAbstractItemView* view,
                                                             const QModelIndex& index,
                                                             const QPoint& pos) const
{
    const QRect frame = view->visualRect(index);
    const Layout parts = layout(frame, index, view);
    for (const ButtonCell* button : {&m_wwwButton, &m_updateButton, &m_installButton}) {
        const std::optional<QRect> rect = rectOf(button, parts);
        if (rect && rect->intersected(frame).contains(pos))
            return button;
    }
    return nullptr;
}

bool DescriptionCell::editorEvent(QEvent* event, QAbstractItemModel* model,
                                  const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        auto* view = qobject_cast<QAbstractItemView*>(const_cast<QWidget*>(option.widget));
        if (view && mouse->button() == Qt::LeftButton &&
            beginTracking(view, index, mouse->position().toPoint()))
            return true;
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

bool DescriptionCell::beginTracking(QAbstractItemView* view, const QModelIndex& index,
                                    const QPoint& pos)
{
    const ButtonCell* button = buttonAt(view, index, pos);
    if (!button)
        return false;
    // A press on a button selects its row as a press anywhere else on it would.
    if (QItemSelectionModel* selection = view->selectionModel())
        selection->setCurrentIndex(index,
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_trackCell = button;
    m_trackView = view;
    m_trackIndex = index;
    m_trackInside = true;
    // The rest of the click may be released over another row or outside the table, where
    // the view would never hand it to this delegate; watching the viewport sees it all.
    view->viewport()->installEventFilter(this);
    view->viewport()->update(view->visualRect(index));
    return true;
}

bool DescriptionCell::isOnButton(QObject* viewport, const QPoint& pos) const
{
    auto* view = qobject_cast<QAbstractItemView*>(viewport->parent());
    if (!view || view->viewport() != viewport)
        return false;
    const QModelIndex index = view->indexAt(pos);
    return index.isValid() && view->itemDelegateForIndex(index) == this &&
           buttonAt(view, index, pos) != nullptr;
}

void DescriptionCell::updateTracking(const QPoint& pos)
{
    const bool inside =
        m_trackIndex.isValid() && buttonAt(m_trackView, m_trackIndex, pos) == m_trackCell;
    if (inside == m_trackInside)
        return;
    m_trackInside = inside;
    m_trackView->viewport()->update(m_trackView->visualRect(m_trackIndex));
}

void DescriptionCell::endTracking(const QPoint& pos, bool released)
{
    QAbstractItemView* view = m_trackView;
    const QModelIndex index = m_trackIndex;
    // Asked of the row as it is now: a reload while the mouse was down may have changed its
    // buttons, or taken the row away.
    const bool inside = released && index.isValid() && buttonAt(view, index, pos) == m_trackCell;
    const std::optional<Button> clicked = inside ? std::optional(m_trackCell->kind) : std::nullopt;
    m_trackCell = nullptr;
    m_trackView = nullptr;
    m_trackIndex = QPersistentModelIndex();
    m_trackInside = false;
    if (index.isValid())
        view->viewport()->update(view->visualRect(index));
    if (clicked)
        press(view, index, *clicked);
}

bool DescriptionCell::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    // The second press of a double click on a button arrives as a double click, after the
    // first click's release ended the tracking. It belongs to the button, never to the row's
    // double action (which would start the game).
    if (type == QEvent::MouseButtonDblClick && !m_trackCell)
        return isOnButton(watched, static_cast<QMouseEvent*>(event)->position().toPoint());
    if (!m_trackCell || !m_trackView || watched != m_trackView->viewport() ||
        (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
         type != QEvent::MouseButtonRelease && type != QEvent::MouseButtonDblClick))
        return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint pos = mouse->position().toPoint();
    if (type == QEvent::MouseButtonPress) {
        // The release of the last click went astray (a popup took the mouse): drop it.
        endTracking(pos, false);
        return false;
    }
    // A double click arrives after the press that started this tracking; it must not reach
    // the view as the row's double action.
    if (type == QEvent::MouseMove)
        updateTracking(pos);
    else if (type == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton)
        endTracking(pos, true);
    return true;
}
