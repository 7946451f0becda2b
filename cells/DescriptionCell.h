#pragma once

// The delegate of a table's "description" column: the row's text, with up to three push
// buttons ("Install", "Update", and a globe for the web page) at its right end. One instance
// serves every row and keeps no per-row state: which buttons a row shows is read from the
// row's roles each time the row is drawn or clicked, and a click released inside a button is
// announced with the row's index and the button's kind, for whoever owns the table to act on.

#include <QPersistentModelIndex>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStyledItemDelegate>

#include <optional>

class QAbstractItemView;

class DescriptionCell : public QStyledItemDelegate
{
    Q_OBJECT
public:
    // The roles a model answers for the cell, on the cell's own index.
    enum Role
    {
        // The row's InstallState (install/Locations.h) as an int: NotInstalled shows "install",
        // UpdateAvailable "update". No value shows neither.
        InstallStateRole = Qt::UserRole + 1,
        // The row's web page as a string; a non-empty one shows "www".
        WebAddressRole,
    };

    enum class Button
    {
        Install,
        Update,
        Www,
    };
    Q_ENUM(Button)

    // Where each part of a cell goes; a button that is not shown has no rectangle.
    struct Layout
    {
        QRect text;
        std::optional<QRect> install;
        std::optional<QRect> update;
        std::optional<QRect> www;
    };

    explicit DescriptionCell(QObject* parent = nullptr);

    // The layout of the index's cell in the frame, for the given view.
    Layout layout(const QRect& frame, const QModelIndex& index, const QWidget* widget) const;

    // The width a row's buttons take at most; the column is never made narrower.
    int buttonsWidth(const QWidget* widget) const;
    // Whether the index's row shows the button, and the button's title.
    static bool isShown(Button kind, const QModelIndex& index);
    QString title(Button kind) const;
    // Presses the index's button as a click on it would: the row is selected, then the click
    // announced. For keyboards and assistive technology, which cannot aim at a painted button.
    void press(QAbstractItemView* view, const QModelIndex& index, Button kind);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

signals:
    // Once per click released inside the button it pressed; the row is selected by then.
    void buttonClicked(const QModelIndex& index, DescriptionCell::Button kind);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct ButtonCell
    {
        QString title;
        Button kind;
    };

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
    // Announces the click when the mouse went up inside the pressed button.
    void endTracking(const QPoint& pos, bool released);

    ButtonCell m_wwwButton;
    ButtonCell m_updateButton;
    ButtonCell m_installButton;
    // The button being pressed, with where it was pressed; none between clicks.
    const ButtonCell* m_trackCell = nullptr;
    QPointer<QAbstractItemView> m_trackView;
    QPersistentModelIndex m_trackIndex;
    bool m_trackInside = false;
};
