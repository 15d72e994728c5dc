// The tool bar's hidden pictures; the invoice grid draws imgCodBarra.
#include "Cli_exp13000.h"

#include "ComponentFactory.h"
#include "Glyphs.h"

void TfrmConfSepExp::CreatePictures()
{
    const struct {
        TImage* TfrmConfSepExp::*member;
        const char* name;
        PictureKind kind;
    } pictures[] = {
        {&TfrmConfSepExp::imgAmarelo, "imgAmarelo", PictureKind::Yellow},
        {&TfrmConfSepExp::imgVerde, "imgVerde", PictureKind::Green},
        {&TfrmConfSepExp::imgAzul, "imgAzul", PictureKind::Blue},
        {&TfrmConfSepExp::imgVermelho, "imgVermelho", PictureKind::Red},
        {&TfrmConfSepExp::imgCodBarra, "imgCodBarra", PictureKind::BarCode},
        {&TfrmConfSepExp::imgCodBarraOK, "imgCodBarraOK", PictureKind::BarCodeOK},
        {&TfrmConfSepExp::imgCinza, "imgCinza", PictureKind::Grey},
        {&TfrmConfSepExp::imgUncheck, "imgUncheck", PictureKind::Uncheck},
        {&TfrmConfSepExp::imgCheck, "imgCheck", PictureKind::Check},
        {&TfrmConfSepExp::imgDescheck, "imgDescheck", PictureKind::Descheck},
    };
    int left = 220;
    for (const auto& p : pictures) {
        auto* image = Make<TImage>(this, panBotoeshorizontal, p.name);
        image->SetAutoSize(true);
        image->Picture().Bitmap().Assign(MakePicture(p.kind));
        image->SetLeft(left);
        image->SetTop(6);
        image->SetVisible(false);
        this->*p.member = image;
        left += 18;
    }
}
