#include "SearchDialog.h"

#include "ui/DialogPlacement.h"
#include "data/DataSet.h"
#include "ui/Dispatch.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TSearchDialog::TSearchDialog(TDataSet* dataSet, QWidget* parent)
    : QDialog(parent), dataSet_(dataSet), fieldBox_(new QComboBox(this)), valueEdit_(new QLineEdit(this)),
      findFirst_(new QPushButton(QStringLiteral("&Localizar"), this)),
      findNext_(new QPushButton(QStringLiteral("&Próximo"), this)), status_(new QLabel(this))
{
    setWindowTitle(QStringLiteral("Procurar"));
    for (int i = 0; i < dataSet->FieldCount(); ++i) {
        const TField* field = dataSet->Fields(i);
        if (field->Visible())
            fieldBox_->addItem(field->DisplayLabel(), field->FieldName());
    }
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Campo:"), fieldBox_);
    form->addRow(QStringLiteral("&Valor:"), valueEdit_);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(findFirst_, QDialogButtonBox::ActionRole);
    buttons->addButton(findNext_, QDialogButtonBox::ActionRole);
    QPushButton* close = buttons->addButton(QStringLiteral("&Fechar"), QDialogButtonBox::RejectRole);
    findFirst_->setDefault(true);
    connect(findFirst_, &QPushButton::clicked, this, [this] { Dispatch(nullptr, [this] { FindFirst(); }); });
    connect(findNext_, &QPushButton::clicked, this, [this] { Dispatch(nullptr, [this] { FindNext(); }); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(status_);
    layout->addWidget(buttons);
    resize(420, sizeHint().height());
    valueEdit_->setFocus();
}

QString TSearchDialog::Status() const
{
    return status_->text();
}

bool TSearchDialog::FindFirst()
{
    return FindFrom(0, QStringLiteral("Nenhum registro encontrado."));
}

bool TSearchDialog::FindNext()
{
    return FindFrom(dataSet_->RecNo(), QStringLiteral("Nenhum outro registro encontrado."));
}

bool TSearchDialog::FindFrom(int position, const QString& notFound)
{
    const QString value = valueEdit_->text();
    if (value.isEmpty()) {
        status_->setText(QStringLiteral("Informe o valor a procurar."));
        return false;
    }
    const TField* field = dataSet_->FindField(fieldBox_->currentData().toString());
    const int count = dataSet_->RecordCount();
    int found = -1;
    for (int p = qMax(0, position); field && p < count && found < 0; ++p) {
        TDisplayRowScope row(dataSet_, p);
        if (field->DisplayText().startsWith(value, Qt::CaseInsensitive))
            found = p;
    }
    if (found < 0) {
        status_->setText(notFound);
        return false;
    }
    status_->setText(QStringLiteral("Registro %1 de %2.").arg(found + 1).arg(count));
    dataSet_->SetRecNo(found + 1);
    return true;
}

void RunSearch(TDataSet* dataSet)
{
    TSearchDialog dialog(dataSet);
    PlaceOverActiveWindow(&dialog);
    dialog.exec();
}
