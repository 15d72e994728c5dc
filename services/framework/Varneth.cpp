#include "Varneth.h"

#include "DtmDBGeral.h"
#include "server/Gs1.h"

#include "Consiste.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

namespace {

Varneth::THostSettings current;

// A Portuguese error that ends Load; caught there and returned.
struct TSettingError {
    QString Message;
};

[[noreturn]] void fail(const QString& message) { throw TSettingError{message}; }

bool isHostName(const QString& text)
{
    static const QRegularExpression name(QStringLiteral(
        R"(^[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?(\.[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*$)"));
    static const QRegularExpression ipv6(QStringLiteral(R"(^[0-9A-Fa-f:.]+$)"));
    return name.match(text).hasMatch() || (text.contains(u':') && ipv6.match(text).hasMatch());
}

QString checkedHost(const QString& text)
{
    if (!isHostName(text))
        fail(QStringLiteral("Servidor inválido: '%1'.").arg(text));
    return text;
}

int checkedPort(const QString& text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    const int port = digits.match(text).hasMatch() ? text.toInt() : 0;
    if (port < 1 || port > 65535)
        fail(QStringLiteral("Porta do servidor inválida: '%1' (deve ser um número de 1 a 65535).").arg(text));
    return port;
}

// The server's account names (appserver's accounts file).
QString checkedUser(const QString& text)
{
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9._@-]{1,64}$"));
    if (!name.match(text).hasMatch())
        fail(QStringLiteral("Usuário do servidor inválido: '%1' (de 1 a 64 letras sem acento, dígitos, '.', '_', '@' "
                            "ou '-').")
                 .arg(text.left(100)));
    return text;
}

QString checkedBranch(const QString& text)
{
    static const QRegularExpression code(QStringLiteral("^[0-9]{1,4}$"));
    if (!code.match(text).hasMatch())
        fail(QStringLiteral("Código de filial inválido: '%1' (deve ter de 1 a 4 dígitos).").arg(text));
    return Consiste::Ajusta(text, 4);
}

bool checkedFlag(const QString& key, const QString& text)
{
    const QString t = text.toLower();
    if (t == u"true" || t == u"1")
        return true;
    if (t == u"false" || t == u"0")
        return false;
    fail(QStringLiteral("Valor inválido em %1: '%2' (use true ou false).").arg(key, text));
}

// The stand-in for the separator must be no GS1 data character, or a
// reading would be ambiguous.
QChar checkedSeparator(const QString& text)
{
    if (text.isEmpty())
        return QChar(Varneth::GroupSeparator);
    const QChar c = text.at(0);
    if (text.size() != 1 || (c.unicode() <= u' ' && c != QChar(Varneth::GroupSeparator)) || IsGs1Character(c))
        fail(QStringLiteral("Substituto do separador de grupo inválido: '%1' (deve ser um só caractere que "
                            "não ocorra em códigos GS1, como ~ ou ^).")
                 .arg(text));
    return c;
}

QString checkedPath(const QString& key, const QString& text, const QDir& base)
{
    if (text.trimmed().isEmpty())
        fail(QStringLiteral("Caminho vazio em %1.").arg(key));
    if (IsPostgresUri(text) || IsAppServerDatabase(text))
        return text;
    return QDir::cleanPath(base.absoluteFilePath(text));
}

// "HOST", "HOST:PORT" or "[IPV6]:PORT"; port 0 when it names none.
Varneth::TServer checkedServer(const QString& text)
{
    static const QRegularExpression form(QStringLiteral(R"(^(?:\[([^\]]*)\]|([^:\[\]]*))(?::([^:]*))?$)"));
    const QRegularExpressionMatch m = form.match(text.trimmed());
    if (!m.hasMatch())
        fail(QStringLiteral("Servidor inválido: '%1' (use HOST:PORTA).").arg(text));
    return {checkedHost(m.hasCaptured(1) ? m.captured(1) : m.captured(2)), m.hasCaptured(3) ? checkedPort(m.captured(3)) : 0};
}

// Servers separated by commas, none empty.
QList<Varneth::TServer> checkedServers(const QString& text)
{
    QList<Varneth::TServer> servers;
    for (const QString& item : text.split(u','))
        servers.append(checkedServer(item));
    return servers;
}

// --server: the first server, and the site's others after it when a list is
// given.
void applyServer(Varneth::THostSettings& s, const QString& text)
{
    QList<Varneth::TServer> servers = checkedServers(text);
    const Varneth::TServer first = servers.takeFirst();
    s.ServerHost = first.first;
    if (first.second != 0)
        s.ServerPort = first.second;
    if (!servers.isEmpty())
        s.ServerAlternates = servers;
}

// The password in the first line of `fileName`, a file only its owner may
// read: a password others can read is no secret.
QString checkedPassword(const QString& fileName)
{
    const QFileInfo info(fileName);
    if (!info.isFile())
        fail(QStringLiteral("Arquivo de senha '%1' não encontrado.").arg(fileName));
    if (info.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup
                              | QFileDevice::WriteOther))
        fail(QStringLiteral("O arquivo de senha '%1' pode ser lido ou alterado por outros usuários; "
                            "deixe-o só para o seu dono (chmod 600 '%1').")
                 .arg(fileName));
    QFile file(fileName);
    // A password is a line; a large file is not a password file.
    if (info.size() > 4096 || !file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("Não foi possível ler o arquivo de senha '%1'.").arg(fileName));
    QString password = QString::fromUtf8(file.readLine());
    while (password.endsWith(u'\n') || password.endsWith(u'\r'))
        password.chop(1);
    if (password.isEmpty())
        fail(QStringLiteral("O arquivo de senha '%1' está vazio.").arg(fileName));
    return password;
}

QString checkedFile(const QString& key, const QString& text, const QDir& base)
{
    const QString path = checkedPath(key, text, base);
    if (!QFileInfo(path).isFile())
        fail(QStringLiteral("Arquivo '%1' de %2 não encontrado.").arg(path, key));
    return path;
}

const QStringList knownKeys = {
    QStringLiteral("server/host"),     QStringLiteral("server/port"),   QStringLiteral("server/tls"),
    QStringLiteral("server/ca_file"),  QStringLiteral("server/user"),   QStringLiteral("server/password_file"),
    QStringLiteral("server/alternates"),
    QStringLiteral("branch/code"),
    QStringLiteral("branch/name"),     QStringLiteral("branch/fixed"),  QStringLiteral("database/path"),
    QStringLiteral("masks/product"),   QStringLiteral("scanner/group_separator"), QStringLiteral("scanner/sounds"),
};

void readFile(Varneth::THostSettings& s, const QString& fileName)
{
    QSettings ini(fileName, QSettings::IniFormat);
    if (ini.status() == QSettings::AccessError)
        fail(QStringLiteral("Não foi possível ler o arquivo de configuração '%1'.").arg(fileName));
    if (ini.status() == QSettings::FormatError)
        fail(QStringLiteral("Arquivo de configuração '%1' malformado.").arg(fileName));

    const QStringList keys = ini.allKeys();
    for (const QString& key : keys) {
        if (!knownKeys.contains(key))
            fail(QStringLiteral("Chave desconhecida '%1' no arquivo de configuração '%2'.").arg(key, fileName));
        // An unquoted value with a comma comes back from the INI reader as a list.
        if (ini.value(key).typeId() != QMetaType::QString)
            fail(QStringLiteral("Valor de %1 em '%2' deve vir entre aspas (contém vírgula).").arg(key, fileName));
    }
    const auto text = [&](const char* key) { return ini.value(QLatin1StringView(key)).toString(); };
    const auto has = [&](const char* key) { return ini.contains(QLatin1StringView(key)); };

    if (has("server/host"))
        s.ServerHost = checkedHost(text("server/host"));
    if (has("server/port"))
        s.ServerPort = checkedPort(text("server/port"));
    if (has("server/alternates"))
        s.ServerAlternates = text("server/alternates").trimmed().isEmpty() ? QList<Varneth::TServer>()
                                                                            : checkedServers(text("server/alternates"));
    const QDir folder = QFileInfo(fileName).absoluteDir();
    if (has("server/tls"))
        s.ServerTls = checkedFlag(QStringLiteral("server/tls"), text("server/tls"));
    if (has("server/ca_file"))
        s.ServerCaFile = checkedFile(QStringLiteral("server/ca_file"), text("server/ca_file"), folder);
    if (has("server/user"))
        s.ServerUser = text("server/user").isEmpty() ? QString() : checkedUser(text("server/user"));
    if (has("server/password_file")) {
        if (s.ServerUser.isEmpty())
            fail(QStringLiteral("O arquivo de senha (server/password_file) exige o usuário (server/user)."));
        s.ServerPassword = checkedPassword(checkedPath(QStringLiteral("server/password_file"),
                                                       text("server/password_file"), folder));
    }
    if (has("branch/code"))
        s.BranchCode = text("branch/code").isEmpty() ? QString() : checkedBranch(text("branch/code"));
    if (has("branch/name"))
        s.BranchName = text("branch/name");
    if (has("branch/fixed"))
        s.FixedBranch = checkedFlag(QStringLiteral("branch/fixed"), text("branch/fixed"));
    if (has("database/path"))
        s.DatabasePath = checkedPath(QStringLiteral("database/path"), text("database/path"), folder);
    if (has("masks/product"))
        s.ProductMask = text("masks/product");
    if (has("scanner/group_separator"))
        s.GroupSeparatorReplacement = checkedSeparator(text("scanner/group_separator"));
    if (has("scanner/sounds"))
        s.ScannerSounds = checkedFlag(QStringLiteral("scanner/sounds"), text("scanner/sounds"));
}

struct TOption {
    QString Name;
    QString Value;
    bool HasValue = false;
};

// The options of the command line, in order; "--name value" and
// "--name=value" both give a value to the options that take one.
QList<TOption> parseArguments(const QStringList& arguments)
{
    static const QStringList withValue = {QStringLiteral("--config"), QStringLiteral("--server"),
                                          QStringLiteral("--branch"), QStringLiteral("--database")};
    static const QStringList flags = {QStringLiteral("--fixed-branch")};
    QList<TOption> options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        const qsizetype equals = argument.indexOf(u'=');
        TOption o;
        o.Name = equals < 0 ? argument : argument.left(equals);
        if (withValue.contains(o.Name)) {
            if (equals >= 0)
                o.Value = argument.mid(equals + 1);
            else if (i + 1 < arguments.size())
                o.Value = arguments.at(++i);
            else
                fail(QStringLiteral("Falta o valor da opção %1.").arg(o.Name));
            o.HasValue = true;
        } else if (!flags.contains(o.Name) || equals >= 0) {
            fail(QStringLiteral("Argumento desconhecido: '%1'.").arg(argument));
        }
        options.append(o);
    }
    return options;
}

} // namespace

QString Varneth::DefaultConfigFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/exp13000/host.ini");
}

QString Varneth::Load(const QStringList& arguments)
{
    try {
        const QList<TOption> options = parseArguments(arguments);
        THostSettings s;

        QString config;
        for (const TOption& o : options)
            if (o.Name == u"--config")
                config = o.Value;
        if (!config.isEmpty()) {
            if (!QFileInfo(config).isFile())
                fail(QStringLiteral("Arquivo de configuração '%1' não encontrado.").arg(config));
            readFile(s, config);
        } else if (QFileInfo(DefaultConfigFile()).isFile()) {
            readFile(s, DefaultConfigFile());
        }

        const QString fileBranch = s.BranchCode;
        for (const TOption& o : options) {
            if (o.Name == u"--server")
                applyServer(s, o.Value);
            else if (o.Name == u"--branch")
                s.BranchCode = checkedBranch(o.Value);
            else if (o.Name == u"--fixed-branch")
                s.FixedBranch = true;
            else if (o.Name == u"--database")
                s.DatabasePath = checkedPath(QStringLiteral("--database"), o.Value, QDir::current());
        }
        if (s.BranchCode != fileBranch)
            s.BranchName.clear();
        if (s.FixedBranch && s.BranchCode.isEmpty())
            fail(QStringLiteral("A filial fixa exige o código da filial (--branch ou [branch] code)."));

        current = s;
        return QString();
    } catch (const TSettingError& e) {
        return e.Message;
    }
}

const Varneth::THostSettings& Varneth::Settings() { return current; }
void Varneth::SetSettings(const THostSettings& settings) { current = settings; }

QString Varneth::FiliProc() { return current.BranchCode; }
QString Varneth::NomeFiliProc() { return current.BranchName; }
bool Varneth::ModuFili() { return current.FixedBranch; }
QString Varneth::WebURL() { return current.ServerHost; }
int Varneth::WebPort() { return current.ServerPort; }
QList<Varneth::TServer> Varneth::ServerAlternates()
{
    QList<TServer> servers = current.ServerAlternates;
    for (TServer& server : servers)
        if (server.second == 0)
            server.second = current.ServerPort;
    return servers;
}
QString Varneth::DBPict(int kind) { return kind == 0 ? current.ProductMask : QString(); }
QString Varneth::DatabasePath() { return current.DatabasePath; }
QChar Varneth::GroupSeparatorReplacement() { return current.GroupSeparatorReplacement; }
bool Varneth::ScannerSounds() { return current.ScannerSounds; }

void Varneth::SetFiliProc(const QString& code) { current.BranchCode = code; }
void Varneth::SetNomeFiliProc(const QString& name) { current.BranchName = name; }
void Varneth::SetModuFili(bool fixed) { current.FixedBranch = fixed; }
void Varneth::SetWebURL(const QString& host) { current.ServerHost = host; }
void Varneth::SetWebPort(int port) { current.ServerPort = port; }
void Varneth::SetProductMask(const QString& mask) { current.ProductMask = mask; }
void Varneth::SetDatabasePath(const QString& path) { current.DatabasePath = path; }
void Varneth::SetGroupSeparatorReplacement(QChar c) { current.GroupSeparatorReplacement = c; }
void Varneth::SetScannerSounds(bool on) { current.ScannerSounds = on; }
