#include "IumReadingControls.h"

#include "IumReadingText.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>

TScanEdit::TScanEdit(TComponent* owner) : TCustomEdit(owner, new QLineEdit) {}

bool TScanEdit::WidgetEvent(QEvent* event)
{
    if (event->type() == QEvent::KeyPress && !ReadOnly()) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        const bool separator = key->text() == QChar(29)
                               || (key->key() == Qt::Key_BracketRight && key->modifiers().testFlag(Qt::ControlModifier));
        if (separator) {
            LineEdit()->insert(QString(QChar(IumReading::GroupSeparatorMark)));
            return true;
        }
    }
    return TCustomEdit::WidgetEvent(event);
}

TReadingLog::TReadingLog(TComponent* owner) : TControl(owner, new QListWidget)
{
    List()->setFocusPolicy(Qt::NoFocus);
    List()->setSelectionMode(QAbstractItemView::NoSelection);
    // Long refusals wrap onto more lines rather than run off the right edge.
    List()->setWordWrap(true);
    List()->setTextElideMode(Qt::ElideNone);
    List()->setResizeMode(QListView::Adjust);
    List()->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

QListWidget* TReadingLog::List() const
{
    return static_cast<QListWidget*>(Widget());
}

int TReadingLog::Add(const QString& text, TColor color, const QString& hint)
{
    auto* item = new QListWidgetItem(text);
    item->setForeground(ColorToQColor(color));
    item->setToolTip(hint);
    item->setData(Qt::UserRole, ++lastKey_);
    List()->insertItem(0, item);
    List()->scrollToTop();
    return lastKey_;
}

bool TReadingLog::Replace(int key, const QString& text, TColor color, const QString& hint)
{
    // Keys grow with each line and lines are only added on top: the list is
    // in descending key order, so the line is found by bisection.
    int low = 0, high = List()->count() - 1;
    while (low <= high) {
        const int middle = (low + high) / 2;
        QListWidgetItem* item = List()->item(middle);
        const int at = item->data(Qt::UserRole).toInt();
        if (at == key) {
            item->setText(text);
            item->setForeground(ColorToQColor(color));
            item->setToolTip(hint);
            return true;
        }
        if (at > key)
            low = middle + 1;
        else
            high = middle - 1;
    }
    return false;
}

int TReadingLog::Count() const
{
    return List()->count();
}

QString TReadingLog::Text(int index) const
{
    return List()->item(index)->text();
}

TColor TReadingLog::TextColor(int index) const
{
    return QColorToColor(List()->item(index)->foreground().color());
}

QString TReadingLog::Hint(int index) const
{
    return List()->item(index)->toolTip();
}
