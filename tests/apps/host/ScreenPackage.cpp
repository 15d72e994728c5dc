// A screen package for the host tests, built like the screen's own: two
// units, an IniProc that sets the busy cursor, creates its one MDI child form
// on the first call (or brings it back), shows it and restores the cursor.
// The form has the screen's designed size and two buttons at its right edge.
// Its steps go to the package probe, which can make IniProc or a unit step
// fail on purpose. The form closes with caFree, as the screen does.
//
// Probe events: "init <unit>", "IniProc Cli_hosttest", "FormClose",
// "fin <unit>", and at the screen unit's finalization "tela viva" or
// "tela destruída": whether the form still existed when the package was
// unloaded.
#include "packages/PackageProbe.h"
#include "rtl/PackageUnits.h"
#include "ui/Application.h"
#include "ui/Buttons.h"
#include "ui/Form.h"
#include "ui/Panels.h"
#include "ui/Screen.h"

#include <QPointer>

namespace {

class TfrmTelaTeste;
TfrmTelaTeste* form = nullptr;
QPointer<QWidget> formWidget;

class TfrmTelaTeste : public TForm {
public:
    explicit TfrmTelaTeste(TComponent* owner) : TForm(owner)
    {
        SetName(QStringLiteral("frmTelaTeste"));
        SetCaption(QStringLiteral("Tela de teste"));
        SetClientWidth(1196);
        SetClientHeight(652);
        // Two buttons at the right edge, as the screens' side panel has them.
        auto* side = new TPanel(this);
        side->SetName(QStringLiteral("panMenu"));
        side->SetWidth(55);
        side->SetAlign(TAlign::alRight);
        side->SetParent(this);
        for (const char* name : {"sbtConfirma", "sbtFechar"}) {
            auto* button = new TSpeedButton(this);
            button->SetName(QString::fromLatin1(name));
            button->SetHeight(40);
            button->SetAlign(name[3] == 'C' ? TAlign::alTop : TAlign::alBottom);
            button->SetParent(side);
        }
        SetFormStyle(TFormStyle::fsMDIChild);
        OnClose = closure(this, &TfrmTelaTeste::FormClose);
    }

    void FormClose(TObject*, TCloseAction& action)
    {
        PackageProbe::Record(QStringLiteral("FormClose"));
        form = nullptr;
        action = TCloseAction::caFree;
    }
};

void pkgInit() { PackageProbe::RunUnitStep("Pkg_hosttest", "init"); }
void pkgFin() { PackageProbe::RunUnitStep("Pkg_hosttest", "fin"); }
void cliInit()
{
    form = nullptr;
    PackageProbe::RunUnitStep("Cli_hosttest", "init");
}
void cliFin()
{
    PackageProbe::Record(formWidget ? QStringLiteral("tela viva") : QStringLiteral("tela destruída"));
    PackageProbe::RunUnitStep("Cli_hosttest", "fin");
}

constexpr TPackageUnitInfo units[] = {
    {"Pkg_hosttest", &pkgInit, &pkgFin},
    {"Cli_hosttest", &cliInit, &cliFin},
};
constexpr const char* required[] = {"_rtl", "_vcl"};
constexpr TPackageInfoTable description = Packages::Describe("Pkg_hosttest", pfRunOnly, units, 0, required);

} // namespace

EXP_PACKAGE(description)

extern "C" Q_DECL_EXPORT void IniProc()
{
    Screen->SetCursor(crHourGlass);
    PackageProbe::RunUnitStep("Cli_hosttest", "IniProc");
    if (!form) {
        form = TForm::Create<TfrmTelaTeste>(Application);
        formWidget = form->Widget();
    }
    form->SetWindowState(TWindowState::wsNormal);
    form->Show();
    Screen->SetCursor(crDefault);
}
