#include "ScreenCatalogue.h"

const QList<TScreenEntry>& ScreenCatalogue()
{
    static const QList<TScreenEntry> screens = {
        {QStringLiteral("EXP13000"), QStringLiteral("Expedição"),
         QStringLiteral("Conferência de Separação da Rastreabilidade"), QStringLiteral("libPkg_exp13000.so"),
         "IniProc"},
    };
    return screens;
}

const TScreenEntry* FindScreen(const QString& code)
{
    for (const TScreenEntry& screen : ScreenCatalogue())
        if (screen.Code.compare(code, Qt::CaseInsensitive) == 0)
            return &screen;
    return nullptr;
}
