#pragma once
// TfrmPrincipal: the host's main window. An MDI form, so the screens the
// packages open as MDI children live in its client area; a menu with one
// entry per screen of the catalogue, grouped by the catalogue's menus; a
// status bar with the application server's address, the current branch,
// Application->Hint (lblDica: why a field refused a key, say) for HintMs,
// and a screen's note on its data (lblAvisos, framework/StatusNote.h: the
// work list changed by others, say), hidden while there is none.
//
// Choosing a menu entry runs OnOpenScreen with the entry's screen, inside
// the dispatch boundary: whatever it raises goes to the error display.
//
// "Leitor → Testar leitor" runs OnTestaLeitor and "Leitor → Rótulos de
// demonstração" OnRotulosDemo, likewise; "Expedição → Exportar eventos de
// rastreio…" OnExportaEventos, while the status bar's progress bar
// (pgbExportacao, ShowProgress) shows how far a long export is.
//
// Keys: every menu title and entry has a mnemonic (Alt+letter); F10 opens
// the first menu; "Arquivo → Sair" (Ctrl+Q) closes the main window as its
// close button does; "Janela → Fechar tela" (Ctrl+F4) closes the active
// screen as the screen's own close button does.
//
// Owned by its owner (the application); owns its menu, status bar and
// actions.
#include "ScreenCatalogue.h"

#include "ui/Form.h"

#include <functional>

class QAction;
class QMenu;
class QLabel;
class QMenuBar;
class QProgressBar;
class QStatusBar;

class TfrmPrincipal : public TForm {
public:
    static constexpr int HintMs = 6000;

    explicit TfrmPrincipal(TComponent* owner);
    ~TfrmPrincipal() override;

    // The action of the menu entry of screen `code`, or nullptr.
    QAction* ScreenAction(const QString& code) const;
    QAction* ExitAction() const { return actSair_; }
    QAction* CloseScreenAction() const { return actFecharTela_; }
    QAction* ExportEventsAction() const { return actExportaEventos_; }
    QProgressBar* ExportProgress() const { return pgbExportacao_; }
    // Shows `done` of `total` in the progress bar and repaints it at once;
    // total 0 hides it.
    void ShowProgress(int done, int total);
    QMenuBar* MenuBar() const { return menuBar_; }

    // Shows the server address and the branch as the host's settings have
    // them now (labels lblServidor and lblFilial).
    void ShowSettings();

    TEvent<TObject*, const TScreenEntry&> OnOpenScreen;
    TNotifyEvent OnTestaLeitor;
    TNotifyEvent OnRotulosDemo;
    TNotifyEvent OnExportaEventos;

    TControl* mnuPrincipal;
    TControl* stbPrincipal;

private:
    void ApplicationHint(TObject* sender);
    QMenu* AddMenu(const QString& title);
    QAction* AddAction(QMenu* menu, const QString& caption, const QString& name, std::function<void()> run);

    QMenuBar* menuBar_;
    QStatusBar* statusBar_;
    QLabel* lblServidor_;
    QLabel* lblFilial_;
    QLabel* lblDica_;
    QLabel* lblAvisos_;  // StatusNote: what a screen says of its data
    QAction* actSair_ = nullptr;
    QAction* actFecharTela_ = nullptr;
    QAction* actExportaEventos_ = nullptr;
    QProgressBar* pgbExportacao_;
};
