#pragma once
// The field layouts (names, kinds, sizes) of the packets the server sends;
// they match the clients' data sets field for field.
#include "data/DataPacket.h"

#include <QList>

namespace Layout {

const QList<TFieldDesc>& Invoices();     // GetDados [0]  -> cdsNotaFiscal
const QList<TFieldDesc>& Items();        // GetDados [1]  -> cdsItemProduto
const QList<TFieldDesc>& Readings();     // GetDados [2]  -> cdsIUMProd
const QList<TFieldDesc>& Expeditions();  // GetNrLancamento "EXP" -> cdsNrExpedicao
const QList<TFieldDesc>& Orders();       // GetNrLancamento "PED" -> cdsNrPedido
const QList<TFieldDesc>& ReadingItems(); // GetItensIUM -> the IUM reading screen

} // namespace Layout
