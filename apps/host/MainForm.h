#pragma once
// TfrmPrincipal: the host's main window. An MDI form, so the screens the
// packages open as MDI children live in its client area; a menu with one
// entry per screen of the catalogue, grouped by the catalogue's menus; a
// status bar with the application server's address, the current branch and
// Application->Hint (lblDica: why a field refused a key, say), which the
// main window shows while it is the application's main form.
//
// Choosing a menu entry runs OnOpenScreen with the entry's screen, inside
// the dispatch boundary: whatever it raises goes to the error display.
//
// Owned by its owner (the application); owns its menu, status bar and
// actions.
#include "ScreenCatalogue.h"

#include "ui/Form.h"

class QAction;
class QLabel;
class QMenuBar;
class QStatusBar;

class TfrmPrincipal : public TForm {
public:
    explicit TfrmPrincipal(TComponent* owner);
    ~TfrmPrincipal() override;

    // The action of the menu entry of screen `code`, or nullptr.
    QAction* ScreenAction(const QString& code) const;
    QMenuBar* MenuBar() const { return menuBar_; }

    // Shows the server address and the branch as the host's settings have
    // them now (labels lblServidor and lblFilial).
    void ShowSettings();

    TEvent<TObject*, const TScreenEntry&> OnOpenScreen;

    TControl* mnuPrincipal;
    TControl* stbPrincipal;

private:
    void ApplicationHint(TObject* sender);

    QMenuBar* menuBar_;
    QStatusBar* statusBar_;
    QLabel* lblServidor_;
    QLabel* lblFilial_;
    QLabel* lblDica_;
};
