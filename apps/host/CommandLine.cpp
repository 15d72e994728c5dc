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
    THostOptions parsed;
    QStringList settings{arguments.value(0)};
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        // The value of option `name`: after "=" or the next argument.
        QString value;
        const auto takes = [&](const QString& name) {
            if (argument.startsWith(name + u'=')) {
                value = argument.mid(name.size() + 1);
                return true;
            }
            if (argument != name)
                return false;
            if (i + 1 < arguments.size())
                value = arguments.at(++i);
            return true;
        };
        if (argument == u"--help") {
            parsed.Help = true;
        } else if (takes(QStringLiteral("--open"))) {
            if (value.isEmpty())
                return QStringLiteral("Falta o valor da opção --open.");
            const TScreenEntry* screen = FindScreen(value);
            if (!screen)
                return QStringLiteral("Tela desconhecida em --open: '%1' (telas disponíveis: %2).")
                    .arg(value, knownCodes());
            parsed.Open.append(screen->Code);
        } else if (takes(QStringLiteral("--demo-labels"))) {
            if (value.isEmpty())
                return QStringLiteral("Falta o arquivo PDF da opção --demo-labels.");
            parsed.DemoLabels = value;
        } else if (takes(QStringLiteral("--invoice"))) {
            if (value.isEmpty() || value.size() > 10)
                return QStringLiteral("Número de nota fiscal inválido em --invoice: '%1' (1 a 10 caracteres).").arg(value);
            parsed.Invoice = value;
        } else {
            settings.append(argument);
        }
    }
    if (!parsed.Invoice.isEmpty() && parsed.DemoLabels.isEmpty())
        return QStringLiteral("A opção --invoice só serve com --demo-labels.");
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
               "  --demo-labels ARQUIVO  grava em ARQUIVO (PDF) os rótulos de demonstração dos IUM\n"
               "                         por ler de uma nota fiscal da filial, e sai\n"
               "  --invoice NÚMERO       a nota fiscal dos rótulos (padrão: a primeira à espera\n"
               "                         de leituras)\n"
               "  --help                 mostra esta ajuda\n")
        .arg(knownCodes(), Varneth::DefaultConfigFile());
}
