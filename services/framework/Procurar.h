#pragma once
// Procurar: the search over the rows of a data set, for a screen's search
// button.
//
// Procura opens the search dialog (SearchDialog.h) over `dataSet` through
// the dialog service's Search, so tests answer it with the scripted service.
// Where it leaves the cursor is the dialog's outcome; nothing is returned.
// A null or closed data set opens nothing.
class TDataSet;

namespace Procurar {
void Procura(TDataSet* dataSet);
}
