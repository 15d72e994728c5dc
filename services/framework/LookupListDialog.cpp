#include "LookupListDialog.h"

#include "ui/DialogPlacement.h"
#include "data/DataSource.h"
#include "ui/DBGrid.h"
#include "ui/Dispatch.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

TLookupListDialog::TLookupListDialog(const TLookupListRequest& request, QWidget* parent)
    : QDialog(parent), owner_(std::make_unique<TComponent>()), grid_(new TDBGrid(owner_.get())),
      typedLabel_(new QLabel(this))
{
    setWindowTitle(request.Title);
    grid_->SetName(QStringLiteral("dbgLista"));
    grid_->SetOptions(TDBGridOption::dgTitles | TDBGridOption::dgColumnResize | TDBGridOption::dgColLines |
                      TDBGridOption::dgRowLines | TDBGridOption::dgRowSelect | TDBGridOption::dgAlwaysShowSelection);
    grid_->SetReadOnly(true);
    grid_->SetDataSource(request.Source);
    grid_->OnDblClick = TNotifyEvent::Of([this](TObject*) { accept(); });
    grid_->View()->installEventFilter(this);
    // The list is named by the dialog's title; how to use it goes with it.
    grid_->SetAccessibleName(request.Title);
    grid_->SetAccessibleDescription(QStringLiteral("Enter escolhe a linha; Esc cancela; digite para localizar"));

    auto* hint = new QLabel(QStringLiteral("Enter: escolher    Esc: cancelar    Digite para localizar"), this);
    hint->setEnabled(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_->Widget());
    layout->addWidget(typedLabel_);
    layout->addWidget(hint);
    SetTyped(QString());

    resize(480, 420);
    grid_->View()->setFocus();
}

void TLookupListDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (fitted_)
        return;
    fitted_ = true;
    // Columns as wide as their titles and the texts in view (a field's
    // display width alone may cut codes and texts from OnGetText); the grid
    // keeps a width its view was given. Then the dialog as wide as the list.
    QTableView* view = grid_->View();
    view->resizeColumnsToContents();
    int width = view->verticalScrollBar()->sizeHint().width() + 2 * view->frameWidth();
    for (int i = 0; i < grid_->ColumnCount(); ++i)
        if (!view->isColumnHidden(i))
            width += view->columnWidth(i);
    const int margins = this->width() - view->width();
    resize(qBound(360, width + margins, 900), height());
}

TLookupListDialog::~TLookupListDialog()
{
    grid_->View()->removeEventFilter(this);
}

bool TLookupListDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != grid_->View() || event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    bool eaten = true;
    Dispatch(grid_, [&] {
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter: accept(); return;
        case Qt::Key_Escape: reject(); return;
        case Qt::Key_Backspace:
            if (!typed_.isEmpty()) {
                SetTyped(typed_.chopped(1));
                if (!typed_.isEmpty())
                    Find(typed_);
            }
            return;
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
            SetTyped(QString());
            eaten = false;
            return;
        default: break;
        }
        const QString text = key->text();
        if (text.isEmpty() || !text.at(0).isPrint() || (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            eaten = false;
            return;
        }
        if (Find(typed_ + text))
            SetTyped(typed_ + text);
        else
            QApplication::beep();
    });
    return eaten;
}

bool TLookupListDialog::Find(const QString& text)
{
    int column = 0;
    while (column < grid_->ColumnCount() && !grid_->ColumnAt(column)->Visible())
        ++column;
    const QAbstractItemModel* model = grid_->View()->model();
    if (column >= model->columnCount())
        return false;
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->index(row, column).data().toString().startsWith(text, Qt::CaseInsensitive)) {
            grid_->DataSet()->SetRecNo(row + 1);
            return true;
        }
    }
    return false;
}

void TLookupListDialog::SetTyped(const QString& text)
{
    typed_ = text;
    typedLabel_->setText(QStringLiteral("Localizar: %1").arg(text));
}

bool RunLookupList(const TLookupListRequest& request)
{
    TLookupListDialog dialog(request);
    PlaceOverActiveWindow(&dialog);
    return dialog.exec() == QDialog::Accepted;
}
