#include "Procurar.h"

#include "data/DataSet.h"
#include "ui/Dialogs.h"

void Procurar::Procura(TDataSet* dataSet)
{
    if (dataSet && dataSet->Active())
        Dialogs().Search({dataSet});
}
