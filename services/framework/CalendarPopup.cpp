#include "CalendarPopup.h"

#include <QItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

namespace {

// Indexed by Qt::DayOfWeek % 7 (Sunday first).
const QStringList weekDayNames = {QStringLiteral("Domingo"), QStringLiteral("Segunda"), QStringLiteral("Terça"),
                                  QStringLiteral("Quarta"),  QStringLiteral("Quinta"),  QStringLiteral("Sexta"),
                                  QStringLiteral("Sábado")};

// Paints the header row (row 0 of the calendar's model while it shows a
// header) with our names; day cells go to the calendar's own delegate.
class THeaderDelegate : public QItemDelegate {
public:
    THeaderDelegate(QCalendarWidget* calendar, QAbstractItemDelegate* days, QObject* parent)
        : QItemDelegate(parent), calendar_(calendar), days_(days)
    {
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        if (index.row() != 0) {
            days_->paint(painter, option, index);
            return;
        }
        const QStyleOptionViewItem opt = setOptions(index, option);
        drawBackground(painter, opt, index);
        drawDisplay(painter, opt, opt.rect, CalendarHeaderText(calendar_, index.column()));
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return days_->sizeHint(option, index);
    }

private:
    QCalendarWidget* calendar_;
    QAbstractItemDelegate* days_;
};

} // namespace

QString CalendarHeaderText(const QCalendarWidget* calendar, int column)
{
    const int day = (calendar->firstDayOfWeek() - 1 + column) % 7 + 1;
    return weekDayNames.at(day % 7);
}

TCalendarPopup::TCalendarPopup(const QWidget* anchor, const QDate& selected)
    : QFrame(nullptr, Qt::Popup), calendar_(new QCalendarWidget(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setFrameShape(QFrame::Box);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(calendar_);

    calendar_->setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
    calendar_->setFirstDayOfWeek(Qt::Sunday);
    calendar_->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    calendar_->setHorizontalHeaderFormat(QCalendarWidget::ShortDayNames);
    // The columns share the width: wide enough for the longest of our names.
    int widest = 0;
    for (const QString& name : weekDayNames)
        widest = qMax(widest, calendar_->fontMetrics().horizontalAdvance(name));
    calendar_->setMinimumWidth(7 * (widest + 12));
    calendar_->setGridVisible(true);
    calendar_->setSelectedDate(selected);
    if (auto* view = calendar_->findChild<QTableView*>())
        view->setItemDelegate(new THeaderDelegate(calendar_, view->itemDelegate(), view));
    QObject::connect(calendar_, &QCalendarWidget::clicked, this, [this](QDate d) { Pick(d); });
    QObject::connect(calendar_, &QCalendarWidget::activated, this, [this](QDate d) { Pick(d); });

    adjustSize();
    move(anchor->mapToGlobal(QPoint(0, anchor->height())));
    show();
    calendar_->setFocus();
}

void TCalendarPopup::Pick(const QDate& date)
{
    if (OnPicked)
        OnPicked(date);
    close();
}
