#include "CommandLine.h"

#include "ScreenCatalogue.h"

#include "framework/Varneth.h"

namespace {

QString knownCodes()
{
    QStringList codes;
    for (const TScreenEntry& screen : ScreenCatalogue())
        codes.append(screen.Code);
    return codes.join(QStringLiteral(", "));
}

} // namespace

QString ParseCommandLine(const QStringList& arguments, THostOptions& options)
{
    const QString open = QStringLiteral("--open");
    THostOptions parsed;
    QStringList settings;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (i == 0) {
            settings.append(argument);
        } else if (argument == u"--help") {
            parsed.Help = true;
        } else if (argument == open || argument.startsWith(open + u'=')) {
            QString code;
            if (argument != open)
                code = argument.mid(open.size() + 1);
            else if (i + 1 < arguments.size())
                code = arguments.at(++i);
            else
                return QStringLiteral("Falta o valor da opção --open.");
            const TScreenEntry* screen = FindScreen(code);
            if (!screen)
                return QStringLiteral("Tela desconhecida em --open: '%1' (telas disponíveis: %2).")
                    .arg(code, knownCodes());
            parsed.Open.append(screen->Code);
        } else {
            settings.append(argument);
        }
    }
    if (parsed.Help) {
        options = parsed;
        return QString();
    }
    const QString error = Varneth::Load(settings);
    if (error.isEmpty())
        options = parsed;
    return error;
}

QString Usage()
{
    return QStringLiteral(
               "Uso: host [opções]\n"
               "\n"
               "  --open CÓDIGO          abre a tela CÓDIGO ao iniciar (%1)\n"
               "  --server HOST[:PORTA]  servidor de aplicação; depois de vírgulas, os outros servidores\n"
               "                         do local, tentados quando ele se perde (HOST[:PORTA],...)\n"
               "  --branch CÓDIGO        filial atual (1 a 4 dígitos)\n"
               "  --fixed-branch         o usuário não pode trocar a filial\n"
               "  --database ARQUIVO     banco de dados SQLite\n"
               "  --config ARQUIVO       arquivo de configuração (padrão: %2)\n"
               "  --help                 mostra esta ajuda\n")
        .arg(knownCodes(), Varneth::DefaultConfigFile());
}
