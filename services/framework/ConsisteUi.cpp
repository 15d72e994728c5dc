#include "Consiste.h"

#include "ui/DBGrid.h"
#include "ui/Dialogs.h"

void Consiste::MensErro(const QString& text, bool raise)
{
    Dialogs().ShowError(text);
    if (raise)
        throw EShownError(text);
}

int Consiste::IndiceCol(const TDBGrid* grid, const QString& fieldName)
{
    if (!grid)
        return -1;
    for (int i = 0; i < grid->ColumnCount(); ++i)
        if (grid->ColumnAt(i)->FieldName().compare(fieldName, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}
