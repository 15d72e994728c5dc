#pragma once
// The three work-list data sets and the readiness copy, wired as the screen
// wires them: selecting an invoice filters its items and walks them for the
// confirm-button rule; selecting an item filters its readings. Switching
// filtering on for the invoices selects the first one, as a load does.
#include "WorkListData.h"
#include "data/ClientDataSet.h"
#include "rtl/StrUtils.h"

#include <benchmark/benchmark.h>

struct TScreenWorkList {
    TClientDataSet invoices, items, readings, itemsCheck;
    explicit TScreenWorkList(const TWorkListPackets& p)
    {
        invoices.SetData(p.invoices);
        items.SetData(p.items);
        readings.SetData(p.readings);
        items.AfterScroll = TDataSetNotifyEvent::Of([this](TDataSet*) { selectItem(); });
        invoices.AfterScroll = TDataSetNotifyEvent::Of([this](TDataSet*) { selectInvoice(); });
    }
    void selectInvoice()
    {
        items.SetFiltered(false);
        items.SetFilter("(CDFILIAL = " + QuotedStr(invoices.FieldByName("CDFILIAL")->AsString()) +
                        " AND NRLANCTONF = " + QuotedStr(invoices.FieldByName("NRLANCTONF")->AsString()) + ")");
        items.SetFiltered(true);
        // Readiness walk on a copy holding the items' packet.
        itemsCheck.SetData(items.Data());
        itemsCheck.SetFiltered(false);
        itemsCheck.SetFilter(items.Filter());
        itemsCheck.SetFiltered(true);
        for (itemsCheck.First(); !itemsCheck.Eof(); itemsCheck.Next())
            benchmark::DoNotOptimize(itemsCheck.FieldByName("QTITEMPROD")->AsFloat());
    }
    void selectItem()
    {
        readings.SetFiltered(false);
        readings.SetFilter("(CDFILIAL = " + QuotedStr(items.FieldByName("CDFILIAL")->AsString()) +
                           " AND NRLANCTONF = " + QuotedStr(items.FieldByName("NRLANCTONF")->AsString()) +
                           " AND CDPRODUTO = " + QuotedStr(items.FieldByName("CDPRODUTO")->AsString()) + ")");
        readings.SetFiltered(true);
    }
};
