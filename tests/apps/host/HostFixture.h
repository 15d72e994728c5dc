#pragma once
// Fixture of the host tests: a temporary folder with a configuration file,
// an (empty) database file, a package folder and a window-state file; hosts
// started in process on it, as main() starts one, with the scripted dialog
// service. The package probe is reset around every test.
#include "host/Host.h"
#include "host/MainForm.h"
#include "UiTest.h"

#include <QTemporaryDir>

#include <memory>

class HostTest : public UiTest {
protected:
    HostTest();
    ~HostTest() override;

    // Settings from the fixture's configuration file and `arguments`.
    std::unique_ptr<THost> StartHost(const QStringList& arguments = {});
    // Copies `library` into the package folder as the screen's package file.
    void InstallPackage(const QString& library);
    QString PackagePath() const;
    QString Path(const QString& name) const { return dir_.filePath(name); }

    // The entry `caption` of the menu titled `menu`, or nullptr.
    static QAction* MenuEntry(const TfrmPrincipal& form, const QString& menu, const QString& caption);
    static QAction* ScreenMenuEntry(const TfrmPrincipal& form);

    QTemporaryDir dir_;
};

// True while the dynamic linker holds the library in this process.
bool Resident(const QString& path);

inline const QString hostScreenPackage = QStringLiteral(EXP_TEST_HOST_SCREEN_PACKAGE);
inline const QString malformedPackage = QStringLiteral(EXP_TEST_MALFORMED_PACKAGE);
inline const QString notAPackage = QStringLiteral(EXP_TEST_NOT_A_PACKAGE);
