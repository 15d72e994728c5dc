#pragma once
// The branch query qryFilial as the screen composes it (its four texts as
// stored, its fields), on the host's shared connection dtmDBGeral.
#include "framework/ADOIBQuery.h"
#include "framework/DtmDBGeral.h"
#include "server/KnownQueries.h"

inline void composeBranchQuery(TADOIBQuery& q)
{
    q.SetName("qryFilial");
    q.SQL = KnownQueries::BranchQuery();
    q.SQL_ORACLE = q.SQL;
    q.SQL_ORACLE[5] = "   FI.CDFILIAL = NVL(:P_CDFILIAL,FI.CDFILIAL)";
    q.SQL_MSSQL = q.SQL;
    q.SQL_MSSQL[5] = "   FI.CDFILIAL = ISNULL(:P_CDFILIAL,FI.CDFILIAL)";
    q.SQL_IB = QStringList{"SELECT",
                           "   FI.CDFILIAL, FI.NMFILIAL",
                           "FROM",
                           "   FILIAL FI,",
                           "   PARAM(:P_CDFILIAL)P_CDFILIAL",
                           "WHERE",
                           "   FI.CDFILIAL = NVLSTR(P_CDFILIAL.PARAM ,FI.CDFILIAL) ",
                           "ORDER BY",
                           "   CDFILIAL",
                           " ",
                           " "};
    q.SetConnection(dtmDBGeral->adcGeral());
    q.SetDatabase(dtmDBGeral->dtbGeral);
    q.SetTransaction(dtmDBGeral->ibtGeral);
    q.SetCursorType(TCursorType::ctKeyset);
    q.SetLockType(TLockType::ltReadOnly);
    q.SetEnableBCD(false);

    auto* code = new TADOIBStringField(&q);
    code->SetName("qryFilialCDFILIAL");
    code->SetFieldName("CDFILIAL");
    code->SetSize(4);
    code->SetDisplayLabel("Código");
    code->SetRequired(true);
    auto* name = new TADOIBStringField(&q);
    name->SetName("qryFilialNMFILIAL");
    name->SetFieldName("NMFILIAL");
    name->SetSize(30);
    name->SetDisplayLabel("Nome");
}
