#include "ImportFormat.h"

namespace {

using T = TColumnType;

TImportColumn Optional(TImportColumn column)
{
    column.Required = false;
    return column;
}

} // namespace

int TImportTable::ColumnIndex(QByteArrayView name) const
{
    for (qsizetype i = 0; i < Columns.size(); ++i)
        if (name == Columns[i].Name)
            return int(i);
    return -1;
}

const TImportTable* TImportTable::Parent(const TImportReference& reference) const
{
    return FindImportTable(reference.Table);
}

const QList<TImportTable>& ImportTables()
{
    static const TImportColumn branch{"CDFILIAL", T::Text, 4};
    static const QList<TImportTable> tables = {
        {"filiais.csv", "FILIAL", "filial",
         {branch, {"NMFILIAL", T::Text, 30}, {"IDUTILALMOX", T::Flag}, {"IDUTILLOCAL", T::Flag},
          Optional({"NRGLN", T::Gln})},
         1, {}},
        {"almoxarifados.csv", "ALMOXARIFE", "almoxarifado",
         {branch, {"CDALMOXARIFE", T::Text, 6}, {"DSALMOXARIFE", T::Text, 30}},
         2, {{"FILIAL", {"CDFILIAL"}}}},
        {"locais.csv", "LOCALESTOQUE", "local de estoque",
         {branch, {"CDLOCALESTOQ", T::Text, 6}, {"DSLOCALESTOQ", T::Text, 30}},
         2, {{"FILIAL", {"CDFILIAL"}}}},
        {"produtos.csv", "PRODUTO", "produto",
         {{"CDPRODUTO", T::Text, 10}, {"CDARVPROD", T::Text, 20}, {"NMPRODUTO", T::Text, 50},
          {"SGUNIDADE", T::Text, 10}, {"CDGTIN", T::Gtin}, {"IDCONTROLAIUM", T::Flag}},
         1, {}},
        {"clientes.csv", "CLIENTE", "cliente",
         {{"CDCLIENTE", T::Text, 21}, {"NMRAZSOCCLIE", T::Text, 150}, {"NMFANTCLIE", T::Text, 150},
          {"IDTPIJURCLIE", T::Choice, 0, true, "FJ"}, {"NRINSJURCLIE", T::TaxId}},
         1, {}},
        {"expedicoes.csv", "EXPEDICAO", "expedição",
         {branch, {"NREXPEDICAO", T::Text, 10}, {"DTEXPEDICAO", T::Timestamp},
          {"IDSTATUSSEP", T::Choice, 0, true, "PAC"}},
         2, {{"FILIAL", {"CDFILIAL"}}}},
        {"pedidos.csv", "PEDIDO", "pedido",
         {branch, {"NRPEDIDO", T::Text, 20}, {"DTPEDIDO", T::Date}, {"CDCLIENTE", T::Text, 21}},
         2, {{"FILIAL", {"CDFILIAL"}}, {"CLIENTE", {"CDCLIENTE"}}}},
        {"notas.csv", "NOTAFISCAL", "nota fiscal",
         {branch, {"NRLANCTONF", T::Text, 10}, {"NREXPEDICAO", T::Text, 10}, {"NRPEDIDO", T::Text, 20},
          {"DTPEDIDO", T::Date}, {"DTENTRSAID", T::Timestamp}, {"CDCLIENTE", T::Text, 21},
          {"CDFILIEMIT", T::Text, 4}, Optional({"CDFILIDEST", T::Text, 4}), {"CDTIPOOPER", T::Text, 2},
          {"IDENTRSAIDOP", T::Choice, 0, true, "ES"}, {"IDSITSEPNF", T::Flag}, {"QTVOLNF", T::Quantity},
          {"IDCONFRASTR", T::Flag, 0, false, "", "N", true}, {"DTCONFRASTR", T::Timestamp, 0, false, "", nullptr, true}},
         2,
         {{"FILIAL", {"CDFILIAL"}},
          {"EXPEDICAO", {"CDFILIAL", "NREXPEDICAO"}},
          {"PEDIDO", {"CDFILIAL", "NRPEDIDO"}},
          {"CLIENTE", {"CDCLIENTE"}}}},
        {"itens.csv", "ITEMNOTA", "item de nota",
         {branch, {"NRLANCTONF", T::Text, 10}, {"CDPRODUTO", T::Text, 10}, {"NRITEMPED", T::Text, 1},
          {"QTITEMPROD", T::Quantity}, Optional({"CDALMOXARIFE", T::Text, 6}), Optional({"CDLOCALESTOQ", T::Text, 6}),
          {"IDCOLETA", T::Flag}},
         3, {{"NOTAFISCAL", {"CDFILIAL", "NRLANCTONF"}}, {"PRODUTO", {"CDPRODUTO"}}}},
        {"leituras.csv", "LEITURAIUM", "leitura de IUM",
         {branch, {"NRLANCTONF", T::Text, 10}, {"CDIUMPROD", T::Text, 100}, {"CDPRODUTO", T::Text, 10},
          {"CDGTIN", T::Gtin}, {"NRSERIE", T::Text, 20}, Optional({"CDALMOXARIFE", T::Text, 6}),
          Optional({"CDLOCALESTOQ", T::Text, 6}), Optional({"NRLOTEESTQ", T::Text, 20}),
          Optional({"NRSUBLOTE", T::Text, 4}), Optional({"DTVALILOTE", T::Date}), Optional({"NRREGISTRO", T::Text, 20}),
          {"DTLEITURA", T::Timestamp}},
         3, {{"ITEMNOTA", {"CDFILIAL", "NRLANCTONF", "CDPRODUTO"}}}, true},
    };
    return tables;
}

const TImportTable* FindImportTable(QByteArrayView table)
{
    for (const TImportTable& t : ImportTables())
        if (table == t.Table)
            return &t;
    return nullptr;
}
