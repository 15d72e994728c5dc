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

void TReadingLog::Add(const QString& text, TColor color, const QString& hint)
{
    auto* item = new QListWidgetItem(text);
    item->setForeground(ColorToQColor(color));
    item->setToolTip(hint);
    List()->insertItem(0, item);
    List()->scrollToTop();
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
