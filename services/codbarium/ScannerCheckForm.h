#pragma once
// TfrmTestaLeitor: the scanner check ("Testar leitor"), which
// Codbarium::TestaLeitor builds and runs.
//
// It shows the test symbol (ScannerCheck.h) drawn by libzint and asks for
// one scan into edtLeitura, which takes the keys as the reading screen's
// scan field does (the group separator shown as its mark). The scan ends
// with Enter, or, for a scanner that sends none, when no key has come for
// IdleMs; lblResultado then shows the diagnosis, one paragraph a finding,
// in green when the scanner is ready and in red otherwise, and the field
// is cleared for another try. Nothing is sent to the server. Esc, the
// window's close button and sbtFechar close it.
//
// Ownership: whoever creates the form owns it.
#include "IumReadingControls.h"
#include "ModalForm.h"
#include "ScannerCheck.h"
#include "ui/Buttons.h"
#include "ui/ExtCtrls.h"
#include "ui/Panels.h"

class QTimer;

class TfrmTestaLeitor : public TModalForm {
public:
    explicit TfrmTestaLeitor(TComponent* owner);

    static constexpr int IdleMs = 400;

    // The diagnosis of the last scan; no findings before the first.
    const ScannerCheck::TDiagnosis& Diagnosis() const { return diagnosis_; }
    // True once a scan has found the scanner ready.
    QVariant Outcome() const override { return diagnosis_.Ready(); }

    TLabel* lblInstrucao;
    TImage* imgSimbolo;
    TLabel* lblConteudo;
    TScanEdit* edtLeitura;
    TLabel* lblResultado;
    TPanel* panBotoes;
    TSpeedButton* sbtFechar;

    void FormKeyDown(TObject* sender, TKey& key, TShiftState shift);
    void FormClose(TObject* sender, TCloseAction& action);
    void edtLeituraChange(TObject* sender);
    void sbtFecharClick(TObject* sender);

private:
    // Diagnoses the field's text; `enter`: Enter ended it.
    void Diagnose(bool enter);

    QTimer* idle_;
    ScannerCheck::TDiagnosis diagnosis_;
};
