#include "PacketLayouts.h"

namespace Layout {

namespace {

TFieldDesc S(const char* name, int size)
{
    return TFieldDesc{QString::fromLatin1(name), TFieldType::ftString, size};
}
TFieldDesc F(const char* name)
{
    return TFieldDesc{QString::fromLatin1(name), TFieldType::ftFloat, 0};
}
TFieldDesc D(const char* name)
{
    return TFieldDesc{QString::fromLatin1(name), TFieldType::ftDateTime, 0};
}

} // namespace

const QList<TFieldDesc>& Invoices()
{
    static const QList<TFieldDesc> fields = {
        S("CDFILIAL", 4),      S("NREXPEDICAO", 10),   S("NRLANCTONF", 10),  D("DTENTRSAID"),
        S("CDCLIENTE", 21),    S("NMRAZSOCCLIE", 150), S("NMFANTCLIE", 150), S("NMFILIAL", 30),
        S("NRINSJURCLIE", 20), S("IDTPIJURCLIE", 1),   S("CDFILIEMIT", 4),   S("CDTIPOOPER", 2),
        S("IDENTRSAIDOP", 1),  S("IDSITSEPNF", 1),     F("QTVOLNF"),
    };
    return fields;
}

const QList<TFieldDesc>& Items()
{
    static const QList<TFieldDesc> fields = {
        S("CDFILIAL", 4),  S("NREXPEDICAO", 10), S("NRLANCTONF", 10),     S("CDPRODUTO", 10),
        S("CDARVPROD", 20), S("NMPRODUTO", 50),  S("SGUNIDADE", 10),      F("QTITEMPROD"),
        F("QTRESPRODPED"), S("IDSTATUSSEPSNCM", 1), S("IDCOLETA", 1),     S("NRITEMPED", 1),
    };
    return fields;
}

const QList<TFieldDesc>& Readings()
{
    static const QList<TFieldDesc> fields = {
        S("CDFILIAL", 4),      S("NREXPEDICAO", 10), S("NRLANCTONF", 10),   S("CDALMOXARIFE", 6),
        S("CDLOCALESTOQ", 6),  S("NRLOTEESTQ", 20),  S("NRSUBLOTE", 4),     S("CDIUMPROD", 100),
        D("DTVALILOTE"),       S("DSALMOXARIFE", 30), S("DSLOCALESTOQ", 30), S("CDPRODUTO", 10),
    };
    return fields;
}

const QList<TFieldDesc>& Expeditions()
{
    static const QList<TFieldDesc> fields = {
        S("CDFILIAL", 4), S("NREXPEDICAO", 10), D("DTEXPEDICAO"), S("IDSTATUSSEP", 2),
    };
    return fields;
}

const QList<TFieldDesc>& Orders()
{
    static const QList<TFieldDesc> fields = {S("NRPEDIDO", 20), S("CDFILIAL", 4)};
    return fields;
}

const QList<TFieldDesc>& ReadingItems()
{
    static const QList<TFieldDesc> fields = {
        S("CDFILIAL", 4),  S("NRLANCTONF", 10), S("CDPRODUTO", 10),  S("CDARVPROD", 20),
        S("NMPRODUTO", 50), S("SGUNIDADE", 10), S("CDGTIN", 14),     S("IDCONTROLAIUM", 1),
        F("QTITEMPROD"),   F("QTRESPRODPED"),  S("IDSTATUSSEPSNCM", 1),
    };
    return fields;
}

} // namespace Layout
