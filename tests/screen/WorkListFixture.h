#pragma once
// The screen with a work list to load: three invoices by default (see
// WorkListFixture.cpp), rows written with the builders below.
#include "FilterFixture.h"

// The screen's filter members, as the last load left them.
class TScreenMembers {
public:
    static const QString& ExpeditionFilter(const TfrmConfSepExp* f) { return f->sNrExpedicaoFiltro; }
    static const QString& OrderFilter(const TfrmConfSepExp* f) { return f->sNrPedidoFiltro; }
};

class WorkListTest : public FilterTest {
public:
    static QVariantMap Invoice(const QString& branch, const QString& invoice);
    static QVariantMap Item(const QString& branch, const QString& invoice, const QString& product,
                            const QVariant& toShip, const QVariant& read, const QVariant& status);
    static QVariantMap Reading(const QString& branch, const QString& invoice, const QString& product,
                               const QString& ium);

protected:
    void SetUp() override;
    // The values of one field over the visible rows, leaving the cursor alone.
    static QStringList Column(TDataSet* dataSet, const char* field);
};
