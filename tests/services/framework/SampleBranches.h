#pragma once
// A small list of branches for the framework's widget tests: a client data
// set with a code, a name, an opening date, a hidden internal column and a
// status shown through OnGetText ("P" Pendente, "A" Em Andamento, others
// Concluída), with its data source. AfterScroll is counted.
#include "data/ClientDataSet.h"
#include "data/DataSource.h"

class TSampleBranches : public TComponent {
public:
    explicit TSampleBranches(TComponent* owner = nullptr);

    // Loads the four branches (0001 Matriz Curitiba, 0002 Filial Londrina,
    // 0003 Filial Maringá, 0010 Depósito Central); the cursor on the first.
    void Load();
    // Loads a packet without rows.
    void LoadEmpty();
    // The code of the current row.
    QString Current() const { return code->AsString(); }

    TClientDataSet* cds;
    TStringField* code;
    TStringField* name;
    TDateTimeField* opened;
    TStringField* internal;
    TStringField* status;
    TDataSource* dts;
    int scrolls = 0;
};
