#pragma once
// TBtnPesquisa: the lookup button beside an edit (hint "Pesquisar").
//
// A click (mouse or Click()) runs, in this order:
//   1. OnClick, when set;
//   2. OnBeforePesq(sender, flag) with the flag true; the handler fills the
//      data set. A flag it sets to false ends the click here;
//   3. when DataSource's data set is then empty (a closed one, or none,
//      counts as empty): EmptyError as an information message, and stop;
//   4. the lookup list (the dialog service's LookupList, titled Title): the
//      data set's visible fields with their display labels, texts as the
//      fields show them, type-to-find, Enter picks, Esc cancels;
//   5. a pick: the data set stays on the picked row, OnAfterPesq(sender)
//      runs, then the focus goes to Associate (when it can take it), the
//      edit the picked value belongs to;
//      a cancel: the cursor goes back to the row it stood on before the
//      list (AfterScroll runs if it had moved), and nothing else runs.
// An exception of a handler ends the click and reaches whoever clicked: for
// a mouse click, the dispatch boundary and so the error display.
//
// The button does not own Associate or DataSource; both must outlive it or
// be unset first.
#include "ButtonFlat.h"

class TDataSource;

using TBeforePesqEvent = TEvent<TObject*, bool&>;

class TBtnPesquisa : public TButtonFlat {
public:
    explicit TBtnPesquisa(TComponent* owner);

    TWinControl* Associate() const { return associate_; }
    void SetAssociate(TWinControl* edit) { associate_ = edit; }
    TDataSource* DataSource() const { return dataSource_; }
    void SetDataSource(TDataSource* source) { dataSource_ = source; }
    QString Title() const { return title_; }
    void SetTitle(const QString& title) { title_ = title; }
    QString EmptyError() const { return emptyError_; }
    void SetEmptyError(const QString& text) { emptyError_ = text; }

    TBeforePesqEvent OnBeforePesq;
    TNotifyEvent OnAfterPesq;

    void Click() override;

private:
    TWinControl* associate_ = nullptr;
    TDataSource* dataSource_ = nullptr;
    QString title_;
    QString emptyError_ = QStringLiteral("Não há registros para pesquisar.");
};
