#include "KnownQueries.h"

QStringList KnownQueries::BranchQuery()
{
    return {
        "SELECT",
        "   FI.CDFILIAL, FI.NMFILIAL",
        "FROM",
        "   FILIAL FI",
        "WHERE",
        "   FI.CDFILIAL = NVL(:P_CDFILIAL,FI.CDFILIAL) ",
        "ORDER BY",
        "   CDFILIAL",
        " ",
        " ",
    };
}
