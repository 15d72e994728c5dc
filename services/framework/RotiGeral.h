#pragma once
// TfrmRotiGeral: the base form of the host's screens.
//
// What it supplies (public members, each also carrying its name as Name):
//   lblCodTela   the screen-code label, in the tool-bar strip (the top
//                ToolBarHeight pixels of the form), at its right end above
//                the side panel, where a screen's tool buttons (laid from the
//                left) leave it free; bold; kept in front of a tool bar the
//                screen lays over the strip.
//   grbDadosRel  the work area: below the strip, left of the side panel.
//   panMenu      the side panel at the right edge, below the strip, holding
//                panBotoes (the screen's buttons, sbtConfirma on top) and,
//                at its bottom, sbtFechar (hint "Fechar a tela (Esc)":
//                closes the form).
//   sbtConfirma  the confirm button, disabled at start; its hint "Confirmar
//                o registro selecionado" tells it apart from a tool bar's
//                own "Confirmar".
//   msgPadrao    the screen's message catalogue, empty at start.
//   dbgAtiva     the data grid of this form that last received the focus,
//                nullptr before any did. It is set as the focus arrives, so
//                it already names the grid when that grid's OnEnter runs. It
//                keeps naming it while the focus is on other controls. Grids
//                live as long as the form (the form owns them).
//
// grbDadosRel and panMenu share what the form's aligned controls leave free
// (a screen's tool bar aligned to the top, say), and never the strip: they
// follow every resize. A screen builds its controls into grbDadosRel and
// panBotoes in its constructor.
//
// Events: the constructor binds OnCreate, OnClose and OnKeyDown to the
// virtual FormCreate, FormClose and FormKeyDown, and OnKeyPress to
// FormKeyPress. A screen overrides the virtual ones, running the base form's
// FormCreate first in its own and FormClose last in its own:
//   FormCreate   brings lblCodTela in front of what the screen's constructor
//                laid over the strip (the constructors have all run by then);
//   FormClose    sets the action to caFree: the form is released once control
//                is back in the event loop;
//   FormKeyDown  lets every key pass; it is there to be overridden.
// KeyPreview is on, so these see the keys of every control first.
// Esc closes the form, as sbtFechar does, when no control used the key (an
// open list, say) and sbtFechar is enabled and shown: the base form's rule,
// kept apart from FormKeyDown so that a screen's own FormKeyDown keeps it.
// FormKeyPress turns Enter into "next control" (the Tab order, with the exit
// and enter handlers of a Tab move) and swallows it; a screen whose controls
// need Enter themselves clears it: `OnKeyPress = nullptr`.
#include "ButtonFlat.h"
#include "Vrn_msg.h"
#include "ui/DBGrid.h"
#include "ui/Form.h"
#include "ui/Panels.h"
#include "ui/StdCtrls.h"

class TfrmRotiGeral : public TForm {
public:
    static constexpr int ToolBarHeight = 28;
    static constexpr int SideWidth = 55;

    explicit TfrmRotiGeral(TComponent* owner);

    TLabel* lblCodTela = nullptr;
    TGroupBox* grbDadosRel = nullptr;
    TPanel* panMenu = nullptr;
    TPanel* panBotoes = nullptr;
    TButtonFlat* sbtConfirma = nullptr;
    TButtonFlat* sbtFechar = nullptr;
    TMessages* msgPadrao = nullptr;

    TDBGrid* dbgAtiva = nullptr;

    virtual void FormCreate(TObject* sender);
    virtual void FormClose(TObject* sender, TCloseAction& action);
    virtual void FormKeyDown(TObject* sender, TKey& key, TShiftState shift);
    void FormKeyPress(TObject* sender, QChar& key);
    void sbtFecharClick(TObject* sender);

    void FocusEntering(TWinControl* control) override;

protected:
    void Aligned(const QRect& remainder) override;
    bool WidgetEvent(QEvent* event) override;
};
