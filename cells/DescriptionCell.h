#pragma once

// The delegate of a table's "description" column: the row's text, with up to three push
// buttons ("install", "update", "www") at its right end that send their actions to one
// target. One instance serves every row; the table's owner reconfigures it for each row
// through the willDisplayCell hook before the row is drawn or clicked.

#include <QByteArray>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStyledItemDelegate>

#include <functional>
#include <optional>

class QAbstractItemView;

class DescriptionCell : public QStyledItemDelegate
{
    Q_OBJECT
public:
    // Sets the actions (and, if it likes, the target) for the row of the index.
    using WillDisplayCell = std::function<void(DescriptionCell& cell, const QModelIndex& index)>;

    // Where each part of a cell goes; a button that is not shown has no rectangle.
    struct Layout
    {
        QRect text;
        std::optional<QRect> install;
        std::optional<QRect> update;
        std::optional<QRect> www;
    };

    explicit DescriptionCell(QObject* parent = nullptr);

    // The object whose slot or invokable method named by an action receives the clicks,
    // called with the hosting table view as its one QObject* argument. Not owned.
    void setTarget(QObject* target);
    QObject* target() const;

    // An empty action hides its button.
    void setInstallAction(const QByteArray& action);
    QByteArray installAction() const { return m_installButton.action; }
    void setUpdateAction(const QByteArray& action);
    QByteArray updateAction() const { return m_updateButton.action; }
    void setWwwAction(const QByteArray& action);
    QByteArray wwwAction() const { return m_wwwButton.action; }

    void setWillDisplayCell(WillDisplayCell hook) { m_willDisplayCell = std::move(hook); }

    // The layout of a cell with the current actions in the frame, for the given view.
    Layout layout(const QRect& frame, const QWidget* widget) const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct ButtonCell
    {
        QString title;
        QByteArray action;
    };

    void configure(const QModelIndex& index) const;
    int naturalWidth(const ButtonCell& button, const QWidget* widget) const;
    void drawButton(QPainter* painter, const ButtonCell& button, const QRect& rect, bool pressed,
                    const QStyleOptionViewItem& option) const;
    // The shown button under pos in the cell of index, or none.
    const ButtonCell* buttonAt(QAbstractItemView* view, const QModelIndex& index,
                               const QPoint& pos) const;
    std::optional<QRect> rectOf(const ButtonCell* button, const Layout& layout) const;
    bool isOnButton(QObject* viewport, const QPoint& pos) const;
    bool beginTracking(QAbstractItemView* view, const QModelIndex& index, const QPoint& pos);
    void updateTracking(const QPoint& pos);
    // Sends the action when the mouse went up inside the pressed button.
    void endTracking(const QPoint& pos, bool released);

    ButtonCell m_wwwButton;
    ButtonCell m_updateButton;
    ButtonCell m_installButton;
    // The button being pressed, with where it was pressed; none between clicks.
    const ButtonCell* m_trackCell = nullptr;
    QPointer<QAbstractItemView> m_trackView;
    QPersistentModelIndex m_trackIndex;
    bool m_trackInside = false;

    QPointer<QObject> m_target;
    WillDisplayCell m_willDisplayCell;
};
