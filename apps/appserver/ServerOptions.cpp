#include "ServerOptions.h"

#include "storage/Database.h"

#include <QCommandLineParser>
#include <QUrl>
#include <tuple>

namespace {

bool PositiveInt(const QString& text, int max, int& out)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 1 || value > max)
        return false;
    out = value;
    return true;
}

// "HOST:PORT", an IPv6 address in brackets as in a URL ([::1]:21300);
// false when there is no colon or the port is no number up to 65535.
bool SplitHostPort(const QString& value, QString& host, uint& port)
{
    const qsizetype colon = value.lastIndexOf(u':');
    bool ok = false;
    port = colon < 0 ? 0 : value.mid(colon + 1).toUInt(&ok);
    host = colon < 0 ? QString() : value.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    return ok && port <= 65535;
}

// A date of the command line: dd/mm/aaaa or aaaa-mm-dd.
QDate CommandLineDate(const QString& text)
{
    const QDate brazilian = QDate::fromString(text, QStringLiteral("dd/MM/yyyy"));
    return brazilian.isValid() ? brazilian : QDate::fromString(text, Qt::ISODate);
}

} // namespace

std::optional<TServerOptions> ParseServerOptions(const QStringList& arguments, QString& error)
{
    QCommandLineParser parser;
    const QCommandLineOption listen(QStringLiteral("listen"), QStringLiteral("Endereço e porta (ADDR:PORT)."),
                                    QStringLiteral("addr:port"));
    const QCommandLineOption database(QStringLiteral("database"), QStringLiteral("Arquivo SQLite ou URI do PostgreSQL (postgresql://usuario@servidor:porta/banco)."),
                                      QStringLiteral("file|uri"));
    const QCommandLineOption threads(QStringLiteral("threads"), QStringLiteral("Threads de trabalho."),
                                     QStringLiteral("n"));
    const QCommandLineOption maxFrame(QStringLiteral("max-frame"), QStringLiteral("Maior quadro de requisição em bytes."),
                                      QStringLiteral("bytes"));
    const QCommandLineOption budget(QStringLiteral("request-budget"),
                                    QStringLiteral("Bytes de requisições retidos ao mesmo tempo pelo servidor."),
                                    QStringLiteral("bytes"));
    const QCommandLineOption create(QStringLiteral("create"), QStringLiteral("Cria um banco de dados vazio se o arquivo não existir."));
    const QCommandLineOption maxConnections(QStringLiteral("max-connections"), QStringLiteral("Conexões abertas ao mesmo tempo."),
                                            QStringLiteral("n"));
    const QCommandLineOption maxPerAddress(QStringLiteral("max-connections-per-address"),
                                           QStringLiteral("Conexões abertas ao mesmo tempo a partir de um endereço."),
                                           QStringLiteral("n"));
    const QCommandLineOption helloTimeout(QStringLiteral("hello-timeout"),
                                          QStringLiteral("Segundos para um cliente se apresentar."), QStringLiteral("s"));
    const QCommandLineOption idleTimeout(QStringLiteral("idle-timeout"),
                                         QStringLiteral("Segundos de uma conexão ociosa entre chamadas."), QStringLiteral("s"));
    const QCommandLineOption initDemo(QStringLiteral("init-demo"), QStringLiteral("Cria o esquema e os dados de demonstração."));
    const QCommandLineOption scale(QStringLiteral("scale"), QStringLiteral("Multiplicador dos dados de demonstração."),
                                   QStringLiteral("n"));
    const QCommandLineOption tlsCert(QStringLiteral("tls-cert"), QStringLiteral("Certificado do servidor (PEM)."),
                                     QStringLiteral("file"));
    const QCommandLineOption tlsKey(QStringLiteral("tls-key"), QStringLiteral("Chave privada do servidor (PEM)."),
                                    QStringLiteral("file"));
    const QCommandLineOption accounts(QStringLiteral("accounts"), QStringLiteral("Arquivo de contas de usuário."),
                                      QStringLiteral("file"));
    const QCommandLineOption addUser(QStringLiteral("add-user"), QStringLiteral("Acrescenta um usuário ao arquivo de contas."),
                                     QStringLiteral("name"));
    const QCommandLineOption createRoles(QStringLiteral("create-roles"),
                                         QStringLiteral("Cria os papéis do PostgreSQL e lhes dá as permissões."));
    const QCommandLineOption serverRole(QStringLiteral("server-role"), QStringLiteral("Papel do servidor de aplicação."),
                                        QStringLiteral("name"));
    const QCommandLineOption stationRole(QStringLiteral("station-role"), QStringLiteral("Papel que as estações tinham; seu acesso é retirado."),
                                         QStringLiteral("name"));
    const QCommandLineOption setBranches(QStringLiteral("set-branches"),
                                         QStringLiteral("Troca as filiais de um usuário do arquivo de contas."),
                                         QStringLiteral("name"));
    const QCommandLineOption branches(QStringLiteral("branches"), QStringLiteral("Filiais de um usuário."),
                                      QStringLiteral("list"));
    const QCommandLineOption listUsers(QStringLiteral("list-users"),
                                       QStringLiteral("Lista os usuários do arquivo de contas com suas filiais."));
    const QCommandLineOption migrate(QStringLiteral("migrate"), QStringLiteral("Atualiza o esquema do banco e sai."));
    const QCommandLineOption health(QStringLiteral("health"),
                                    QStringLiteral("Pergunta ao servidor em HOST:PORTA se ele grava no banco."),
                                    QStringLiteral("host:port"));
    const QCommandLineOption healthCa(QStringLiteral("tls-ca"), QStringLiteral("Autoridades confiáveis (PEM), com --health."),
                                      QStringLiteral("file"));
    const QCommandLineOption healthUser(QStringLiteral("user"), QStringLiteral("Usuário, com --health."),
                                        QStringLiteral("name"));
    const QCommandLineOption metrics(QStringLiteral("metrics"),
                                     QStringLiteral("Endereço e porta das métricas (GET /metrics)."),
                                     QStringLiteral("addr:port"));
    const QCommandLineOption logFormat(QStringLiteral("log-format"), QStringLiteral("Formato do registro (text, json)."),
                                       QStringLiteral("format"));
    const QCommandLineOption epcisOutbox(QStringLiteral("epcis-outbox"),
                                         QStringLiteral("Pasta dos eventos de rastreio das conferências."),
                                         QStringLiteral("dir"));
    const QCommandLineOption epcisPrefix(QStringLiteral("epcis-prefix"),
                                         QStringLiteral("Prefixo dos identificadores sem GLN nos eventos."),
                                         QStringLiteral("uri"));
    const QCommandLineOption exportEpcis(QStringLiteral("export-epcis"),
                                         QStringLiteral("Grava os eventos de rastreio de uma filial e sai."),
                                         QStringLiteral("file"));
    const QCommandLineOption exportBranch(QStringLiteral("branch"), QStringLiteral("Filial, com --export-epcis."),
                                          QStringLiteral("code"));
    const QCommandLineOption exportFrom(QStringLiteral("from"), QStringLiteral("Primeiro dia, com --export-epcis."),
                                        QStringLiteral("date"));
    const QCommandLineOption exportTo(QStringLiteral("to"), QStringLiteral("Último dia, com --export-epcis."),
                                      QStringLiteral("date"));
    const QCommandLineOption exportInvoice(QStringLiteral("invoice"),
                                           QStringLiteral("Nota fiscal, com --export-epcis."), QStringLiteral("n"));
    const QCommandLineOption import(QStringLiteral("import"), QStringLiteral("Importa os arquivos CSV da pasta."),
                                    QStringLiteral("folder"));
    const QCommandLineOption check(QStringLiteral("check"), QStringLiteral("Com --import: só confere."));
    const QCommandLineOption exportCsv(QStringLiteral("export-csv"), QStringLiteral("Exporta para a pasta."),
                                       QStringLiteral("folder"));
    const QCommandLineOption help(QStringLiteral("help"), QStringLiteral("Mostra esta ajuda."));
    parser.addOptions({listen, database, create, threads, maxFrame, budget, maxConnections, maxPerAddress,
                       helloTimeout, idleTimeout, initDemo, scale, tlsCert, tlsKey, accounts, addUser, setBranches,
                       branches, listUsers, createRoles, serverRole, stationRole, migrate, health, healthCa,
                       healthUser, metrics, logFormat, epcisOutbox, epcisPrefix, exportEpcis, exportBranch, exportFrom,
                       exportTo, exportInvoice, import, check, exportCsv, help});
    if (!parser.parse(arguments)) {
        // The parser's own texts are English.
        error = parser.unknownOptionNames().isEmpty()
                    ? parser.errorText()
                    : QStringLiteral("Opção desconhecida: '%1'. Use appserver --help para ver as opções.")
                          .arg(parser.unknownOptionNames().first());
        return std::nullopt;
    }
    if (parser.isSet(help)) {
        TServerOptions options;
        options.Help = true;
        return options;
    }
    if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("Argumento inesperado: %1").arg(parser.positionalArguments().first());
        return std::nullopt;
    }

    TServerOptions options;
    if (parser.isSet(listen)) {
        const QString value = parser.value(listen);
        QString host;
        uint port = 0;
        const bool split = SplitHostPort(value, host, port);
        const QHostAddress address(host);
        if (!split || address.isNull()) {
            error = QStringLiteral("Endereço inválido em --listen: %1 (use ENDEREÇO:PORTA, por exemplo 127.0.0.1:21300 "
                                   "ou [::1]:21300)")
                        .arg(value);
            return std::nullopt;
        }
        options.Address = address;
        options.Port = quint16(port);
    }
    if (parser.isSet(database))
        options.Database = parser.value(database);
    if (parser.isSet(threads) && !PositiveInt(parser.value(threads), 256, options.Threads)) {
        error = QStringLiteral("Número de threads inválido: %1").arg(parser.value(threads));
        return std::nullopt;
    }
    if (parser.isSet(maxFrame)) {
        bool ok = false;
        const qulonglong bytes = parser.value(maxFrame).toULongLong(&ok);
        if (!ok || bytes < 1024 || bytes > 0xFFFFFFFFull) {
            error = QStringLiteral("Tamanho de quadro inválido: %1").arg(parser.value(maxFrame));
            return std::nullopt;
        }
        options.MaxFrame = quint32(bytes);
    }
    if (parser.isSet(budget)) {
        bool ok = false;
        options.RequestBudget = parser.value(budget).toLongLong(&ok);
        if (!ok || options.RequestBudget < 1024) {
            error = QStringLiteral("Orçamento de requisições inválido: %1").arg(parser.value(budget));
            return std::nullopt;
        }
    }
    if (options.RequestBudget < options.MaxFrame) {
        error = QStringLiteral("O orçamento de requisições (--request-budget %1) é menor que o maior quadro (--max-frame %2).")
                    .arg(options.RequestBudget)
                    .arg(options.MaxFrame);
        return std::nullopt;
    }
    for (const auto& [option, out, max] : {std::tuple{&maxConnections, &options.MaxConnections, 100000},
                                           std::tuple{&maxPerAddress, &options.MaxConnectionsPerAddress, 100000},
                                           std::tuple{&helloTimeout, &options.HelloTimeout, 3600},
                                           std::tuple{&idleTimeout, &options.IdleTimeout, 86400}}) {
        if (parser.isSet(*option) && !PositiveInt(parser.value(*option), max, *out)) {
            error = QStringLiteral("Valor inválido em --%1: %2").arg(option->names().first(), parser.value(*option));
            return std::nullopt;
        }
    }
    options.TlsCertificate = parser.value(tlsCert);
    options.TlsKey = parser.value(tlsKey);
    options.Accounts = parser.value(accounts);
    options.AddUser = parser.value(addUser);
    options.SetBranches = parser.value(setBranches);
    options.ListUsers = parser.isSet(listUsers);
    if (options.TlsCertificate.isEmpty() != options.TlsKey.isEmpty()) {
        error = QStringLiteral("--tls-cert e --tls-key vão juntos: informe o certificado e a chave privada.");
        return std::nullopt;
    }
    QStringList commands;  // the account commands asked for
    for (const QCommandLineOption* command : {&addUser, &setBranches, &listUsers})
        if (parser.isSet(*command))
            commands.append(QStringLiteral("--") + command->names().first());
    if (commands.size() > 1) {
        error = QStringLiteral("Use um só de --add-user, --set-branches e --list-users por vez.");
        return std::nullopt;
    }
    if (!commands.isEmpty() && options.Accounts.isEmpty()) {
        error = QStringLiteral("%1 exige o arquivo de contas (--accounts ARQUIVO).").arg(commands.first());
        return std::nullopt;
    }
    if (parser.isSet(setBranches) && !parser.isSet(branches)) {
        error = QStringLiteral("--set-branches exige as filiais (--branches 0001,0003, ou --branches '*' para todas).");
        return std::nullopt;
    }
    if (parser.isSet(branches)) {
        if (!parser.isSet(addUser) && !parser.isSet(setBranches)) {
            error = QStringLiteral("--branches vai com --add-user ou --set-branches.");
            return std::nullopt;
        }
        QString wrong;
        options.Branches = TBranches::Parse(parser.value(branches), wrong);
        if (!options.Branches) {
            error = QStringLiteral("--branches: %1.").arg(wrong);
            return std::nullopt;
        }
    }
    if (parser.isSet(metrics)) {
        QString host;
        uint port = 0;
        options.Metrics = QHostAddress(SplitHostPort(parser.value(metrics), host, port) ? host : QString());
        options.MetricsPort = quint16(port);
        if (options.Metrics->isNull()) {
            error = QStringLiteral("Endereço inválido em --metrics: %1 (use ENDEREÇO:PORTA, por exemplo "
                                   "127.0.0.1:9313)")
                        .arg(parser.value(metrics));
            return std::nullopt;
        }
    }
    for (const QHostAddress& address : {options.Address, options.Metrics.value_or(options.Address)}) {
        if (!address.isLoopback() && (options.TlsCertificate.isEmpty() || options.Accounts.isEmpty())) {
            error = QStringLiteral("Para atender em %1, fora da interface local, o servidor exige TLS (--tls-cert e "
                                   "--tls-key) e contas de usuário (--accounts); sem eles use 127.0.0.1.")
                        .arg(address.toString());
            return std::nullopt;
        }
    }
    if (parser.isSet(logFormat)) {
        const QString format = parser.value(logFormat);
        if (format != QLatin1String("text") && format != QLatin1String("json")) {
            error = QStringLiteral("Formato de registro inválido em --log-format: %1 (use text ou json)").arg(format);
            return std::nullopt;
        }
        options.JsonLog = format == QLatin1String("json");
    }
    options.CreateRoles = parser.isSet(createRoles);
    if ((parser.isSet(serverRole) || parser.isSet(stationRole)) && !options.CreateRoles) {
        error = QStringLiteral("--server-role e --station-role só valem com --create-roles.");
        return std::nullopt;
    }
    if (options.CreateRoles && !IsPostgresDatabase(options.Database)) {
        error = QStringLiteral("--create-roles exige o banco PostgreSQL em --database (postgresql://dono@servidor/banco).");
        return std::nullopt;
    }
    for (const auto& [option, out] : {std::pair{&serverRole, &options.Roles.ServerRole},
                                      std::pair{&stationRole, &options.Roles.StationRole}}) {
        if (!parser.isSet(*option))
            continue;
        *out = parser.value(*option);
        if (!ValidRoleName(*out)) {
            error = QStringLiteral("Nome de papel inválido em --%1: '%2' (de 1 a 63 letras minúsculas, algarismos e _, "
                                   "sem começar por algarismo nem por pg_).")
                        .arg(option->names().first(), *out);
            return std::nullopt;
        }
    }
    options.Migrate = parser.isSet(migrate);
    if (parser.isSet(health)) {
        const QString value = parser.value(health);
        QString host;
        uint port = 0;
        if (!SplitHostPort(value, host, port) || host.isEmpty() || port == 0) {
            error = QStringLiteral("Endereço inválido em --health: %1 (use SERVIDOR:PORTA, por exemplo 127.0.0.1:21300)")
                        .arg(value);
            return std::nullopt;
        }
        options.Health = THealthCheck{host, quint16(port), parser.value(healthCa), parser.value(healthUser)};
    } else if (parser.isSet(healthCa) || parser.isSet(healthUser)) {
        error = QStringLiteral("--tls-ca e --user só valem com --health.");
        return std::nullopt;
    }
    options.ImportFolder = parser.value(import);
    options.ImportCheck = parser.isSet(check);
    options.ExportFolder = parser.value(exportCsv);
    if (options.ImportCheck && options.ImportFolder.isEmpty()) {
        error = QStringLiteral("--check vai com --import PASTA.");
        return std::nullopt;
    }
    if (!options.ImportFolder.isEmpty() && !options.ExportFolder.isEmpty()) {
        error = QStringLiteral("Use --import ou --export-csv, um de cada vez.");
        return std::nullopt;
    }
    options.Create = parser.isSet(create);
    options.InitDemo = parser.isSet(initDemo);
    if (parser.isSet(scale) && !PositiveInt(parser.value(scale), 10000, options.Scale)) {
        error = QStringLiteral("Escala inválida: %1").arg(parser.value(scale));
        return std::nullopt;
    }
    options.EpcisOutbox = parser.value(epcisOutbox);
    if (parser.isSet(epcisPrefix)) {
        QString prefix = parser.value(epcisPrefix);
        const QUrl url(prefix, QUrl::StrictMode);
        if (!url.isValid() || (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http"))
            || url.host().isEmpty() || url.hasQuery() || url.hasFragment()) {
            error = QStringLiteral("Prefixo inválido em --epcis-prefix: %1 (use um endereço http ou https, por exemplo "
                                   "https://rastreio.empresa.com.br/)")
                        .arg(prefix);
            return std::nullopt;
        }
        if (!prefix.endsWith(u'/'))
            prefix += u'/';
        options.EpcisNaming.Prefix = prefix;
    }
    if (parser.isSet(exportEpcis)) {
        TEpcisExport exporting{parser.value(exportEpcis), {parser.value(exportBranch), {}, {}, parser.value(exportInvoice)}};
        if (exporting.Range.Branch.isEmpty()) {
            error = QStringLiteral("--export-epcis exige a filial (--branch 0001).");
            return std::nullopt;
        }
        for (const auto& [option, out] : {std::pair{&exportFrom, &exporting.Range.From},
                                          std::pair{&exportTo, &exporting.Range.To}}) {
            if (!parser.isSet(*option))
                continue;
            *out = CommandLineDate(parser.value(*option));
            if (!out->isValid()) {
                error = QStringLiteral("Data inválida em --%1: %2 (use dd/mm/aaaa ou aaaa-mm-dd)")
                            .arg(option->names().first(), parser.value(*option));
                return std::nullopt;
            }
        }
        if (exporting.Range.From.isValid() && exporting.Range.To.isValid() && exporting.Range.From > exporting.Range.To) {
            error = QStringLiteral("--from é depois de --to.");
            return std::nullopt;
        }
        options.Export = exporting;
    } else if (parser.isSet(exportBranch) || parser.isSet(exportFrom) || parser.isSet(exportTo)
               || parser.isSet(exportInvoice)) {
        error = QStringLiteral("--branch, --from, --to e --invoice só valem com --export-epcis.");
        return std::nullopt;
    }
    return options;
}

QString ServerUsage()
{
    return QStringLiteral(
               "Uso: appserver [opções]\n"
               "\n"
               "  --listen ENDEREÇO:PORTA  onde atender (padrão: %1:%2; porta 0 escolhe uma livre)\n"
               "  --database ARQUIVO       banco de dados SQLite (padrão: %3)\n"
               "  --create                 cria um banco vazio (só o esquema) se o arquivo não existir\n"
               "  --threads N              threads de trabalho (padrão: 4)\n"
               "  --max-frame BYTES        maior quadro de requisição aceito (padrão: 1 MiB)\n"
               "  --request-budget BYTES   bytes de requisições retidos ao mesmo tempo (padrão: 32 MiB)\n"
               "  --max-connections N      conexões abertas ao mesmo tempo (padrão: 256)\n"
               "  --max-connections-per-address N\n"
               "                           conexões abertas ao mesmo tempo a partir de um endereço\n"
               "                           (IPv6: de uma rede /64; padrão: 64)\n"
               "  --hello-timeout S        segundos para um cliente se apresentar (padrão: 10)\n"
               "  --idle-timeout S         segundos de conexão ociosa entre chamadas (padrão: 600)\n"
               "  --tls-cert ARQUIVO       certificado do servidor (PEM), com --tls-key: conexões com TLS\n"
               "  --tls-key ARQUIVO        chave privada do servidor (PEM, sem senha)\n"
               "  --accounts ARQUIVO       contas de usuário: a apresentação exige usuário e senha\n"
               "                           (TLS e contas são obrigatórios fora de 127.0.0.1 e ::1)\n"
               "  --add-user NOME          acrescenta NOME ao arquivo de --accounts (ou troca sua senha),\n"
               "                           com a senha lida da entrada padrão, e sai\n"
               "  --branches FILIAIS       com --add-user ou --set-branches: as filiais do usuário,\n"
               "                           códigos separados por vírgula (0001,0003) ou '*' para todas\n"
               "  --set-branches NOME      troca as filiais de NOME no arquivo de --accounts e sai\n"
               "  --list-users             lista os usuários do arquivo de --accounts com suas filiais e sai\n"
               "  --init-demo              cria o esquema e os dados de demonstração e sai\n"
               "  --create-roles           no banco PostgreSQL de --database, com a conexão do dono ou de um\n"
               "                           administrador: cria ou atualiza o esquema, cria o papel do\n"
               "                           servidor (senha lida da entrada padrão), lhe dá as permissões e\n"
               "                           tira as do papel das estações; depois sai\n"
               "  --server-role NOME       papel do servidor (padrão: %4)\n"
               "  --station-role NOME      papel que as estações tinham, seu acesso retirado (padrão: %5)\n"
               "  --scale N                multiplicador dos dados de demonstração (com --init-demo)\n"
               "  --migrate                aplica ao banco de --database as migrações do esquema que faltam\n"
               "                           e sai\n"
               "  --health SERVIDOR:PORTA  pergunta ao servidor de aplicação se ele alcança o banco e grava\n"
               "                           nele; sai com 0 (sim) ou 1 (não). Com --tls-ca ARQUIVO: TLS,\n"
               "                           confiando nessas autoridades; com --user NOME: a senha é lida\n"
               "                           da entrada padrão\n"
               "  --metrics ENDEREÇO:PORTA métricas no formato do Prometheus em GET /metrics (desligadas por\n"
               "                           padrão; fora de 127.0.0.1 e ::1 exige TLS e contas, como --listen)\n"
               "  --log-format FORMATO     text (padrão) ou json: um objeto JSON por linha\n"
               "  --epcis-outbox PASTA     grava nela o evento de rastreio EPCIS de cada conferência\n"
               "  --epcis-prefix URI       prefixo dos identificadores sem GLN nos eventos (filial sem GLN,\n"
               "                           cliente), por exemplo https://rastreio.empresa.com.br/\n"
               "  --export-epcis ARQUIVO   grava em ARQUIVO os eventos de rastreio das conferências da filial\n"
               "                           de --branch FILIAL, com --from DATA e --to DATA (dd/mm/aaaa) ou\n"
               "                           --invoice NF, e sai\n"
               "  --import PASTA           importa os arquivos CSV da pasta (filiais.csv, produtos.csv, notas.csv...;\n"
               "                           veja docs/import.md) no banco de --database, tudo ou nada, e sai\n"
               "  --check                  com --import: confere os arquivos sem gravar nada\n"
               "  --export-csv PASTA       grava os registros do banco de --database na pasta, no formato\n"
               "                           de --import, e sai\n"
               "  --help                   mostra esta ajuda\n")
        .arg(QString::fromLatin1(Defaults::ServerHost))
        .arg(Defaults::ServerPort)
        .arg(Defaults::DatabasePath(), TRoleSetup().ServerRole, TRoleSetup().StationRole);
}
