#pragma once
// THost: the host application's start, run and stop, apart from main() so
// that the tests run the same sequence in process.
//
// Needs the QApplication and the Application object, and the host's settings
// loaded (ParseCommandLine) before Start.
//
// Start creates the shared data module dtmDBGeral and the main window
// (Application->MainForm), puts the window where it was when last closed,
// shows it, sets how connections log in to the application server (asking
// for the password when the settings name a user without a password file:
// ServerLogin.h), then opens the database and the screens asked for with
// --open.
// A branch given by its code alone takes its name from the database (FILIAL),
// as the screens show both; without it (no such branch, no table) the name
// stays empty and a warning goes to stderr. With no branch given at all the
// host takes the database's first branch (lowest code), if it has any.
// Scans the station's queue keeps from an earlier run (the server out of
// reach, the host stopped or killed) are counted in the status bar's note
// (Codbarium::QueuedScansNote); each invoice's reading sends its own.
// Each screen opened (from the menu or --open) is then placed whole inside
// the main window's area (ScreenPlacement.h).
// Errors of the database and of the screens go to the error display
// (Application->HandleException) and the host runs on without them; the
// same holds for the screens opened from the menu.
//
// "Leitor → Testar leitor" runs the scanner check (Codbarium::TestaLeitor);
// "Leitor → Rótulos de demonstração" writes the demo labels of the branch's
// first invoice waiting for readings into LabelsDir (DemoLabelsCommand.h)
// and says where in a message.
//
// Closing the main window closes the screens open in it (each through its
// own close handling), saves the window's geometry and ends Run.
//
// Shutdown, also run by the destructor, destroys every form and module the
// application owns, the screens first, and then unloads the packages (a
// package's code must outlive everything it made); an unload failure goes to
// the error display.
#include "CommandLine.h"
#include "ScreenPackages.h"

#include "ui/Form.h"

#include <memory>

class TfrmPrincipal;
class TNoticeChannel;

class THost {
public:
    struct TPlaces {
        QStringList PackageDirs;  // where screen packages are looked for
        QString WindowStateFile;  // where the main window's geometry is kept
        QString LabelsDir;        // where "Rótulos de demonstração" writes its PDF
    };
    // The host's folder and ../lib; the user's configuration folder; the
    // user's documents folder.
    static TPlaces DefaultPlaces();

    THost(THostOptions options, TPlaces places);
    ~THost();
    THost(const THost&) = delete;
    THost& operator=(const THost&) = delete;

    void Start();
    // Runs the event loop until the main window closes; its exit code.
    int Run();
    void Shutdown();

    // The main window between Start and Shutdown, else nullptr.
    TfrmPrincipal* MainForm() const { return mainForm_; }
    const TScreenPackages& Packages() const { return packages_; }

private:
    void OpenScreen(TObject* sender, const TScreenEntry& screen);
    void MainFormClose(TObject* sender, TCloseAction& action);
    void PlaceMainForm();
    void NameBranch();
    void TestaLeitor(TObject* sender);
    void RotulosDemo(TObject* sender);

    THostOptions options_;
    TPlaces places_;
    TScreenPackages packages_;
    TfrmPrincipal* mainForm_ = nullptr;
    std::unique_ptr<TNoticeChannel> notices_;  // the screens' notices (Notices())
    bool shutDown_ = false;
};
