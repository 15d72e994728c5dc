#pragma once
// Varneth: the host's settings as the screen and the framework read them —
// the application server's address, the user's current branch and whether
// the host fixes it, the database, edit masks and the scanner's stand-in for
// the group separator.
//
// The host calls Load once at start, before anything reads a setting. Load
// reads the configuration file, then applies the command line over it:
//
//   --config FILE      the configuration file (default: DefaultConfigFile();
//                      a missing default file means "all defaults", a
//                      missing FILE given here is an error)
//   --server HOST[:PORT][,HOST[:PORT]...]  application server; an IPv6
//                      address in brackets; after a comma the site's other
//                      servers (server/alternates)
//   --branch CODE      current branch, 1 to 4 digits (kept padded to 4)
//   --fixed-branch     the user may not change the branch
//   --database PATH    the SQLite database file
//
// Values may also follow the option after "=" (--branch=1). Configuration
// file (INI; docs/host-settings.md has an example):
//
//   [server]   host=TEXT  port=1..65535  tls=true|false  ca_file=FILE
//              user=NAME  password_file=FILE  (files relative to the file's folder)
//              alternates="HOST[:PORT], HOST[:PORT]..."  (the site's other
//              servers, tried after host on a lost connection; a server
//              without a port has server/port)
//   [branch]   code=1 to 4 digits  name=TEXT  fixed=true|false
//   [database] path=FILE           (relative: to the file's own folder)
//   [masks]    product=EDIT MASK   (quote it to keep a trailing blank)
//   [scanner]  group_separator=ONE CHARACTER  sounds=true|false
//
// Unknown keys and arguments are errors, so a misspelt setting is not
// silently ignored. A --branch other than the file's code drops the file's
// branch name (it belongs to the other branch).
//
// The password of `user` is read from password_file (its first line), which
// must be readable by its owner only: a file others may read is refused.
// Without a password file the host asks for the password at start
// (ServerLogin.h). The password is kept in memory only.
//
// Failure: Load returns a Portuguese message naming the value at fault and
// keeps every setting as it was; it returns "" on success. Setters apply
// their value unchecked (tests and the host's own code use them).
//
// One set of settings per process, read and written on the main thread.
#include "server/Defaults.h"

#include <QChar>
#include <QString>
#include <QStringList>

#include <utility>

namespace Varneth {

// The ASCII group separator that a scanner sends between GS1 element strings.
inline constexpr char16_t GroupSeparator = 0x1D;

// An application server: host and port (0: the setting server/port).
using TServer = std::pair<QString, int>;

struct THostSettings {
    QString ServerHost = QString::fromLatin1(Defaults::ServerHost);
    int ServerPort = Defaults::ServerPort;
    QList<TServer> ServerAlternates;
    bool ServerTls = false;
    QString ServerCaFile;  // PEM certificates to trust besides the system's
    QString ServerUser;    // "" sends no credentials
    QString ServerPassword;  // from the password file, or asked at start
    QString BranchCode;  // "" (none) or 4 digits
    QString BranchName;
    bool FixedBranch = false;
    QString DatabasePath = Defaults::DatabasePath();
    // Product codes: up to eight digits shown as "12.34.5678"; the dots are
    // not stored and a missing digit shows as a blank.
    QString ProductMask = QStringLiteral("99.99.9999;0; ");
    // The character the scanner types for the group separator. The separator
    // itself by default; otherwise a character that cannot occur in GS1 data.
    QChar GroupSeparatorReplacement = QChar(GroupSeparator);
    // The reading screen's sounds for an accepted and a refused scan.
    bool ScannerSounds = true;

    bool operator==(const THostSettings&) const = default;
};

// Reads the settings; `arguments` is the program's command line, program
// name first. Returns "" on success, else the error (settings unchanged).
QString Load(const QStringList& arguments);
// $XDG_CONFIG_HOME/exp13000/host.ini (by default ~/.config/exp13000/host.ini).
QString DefaultConfigFile();

const THostSettings& Settings();
void SetSettings(const THostSettings& settings);

// What the screen asks of the host.
QString FiliProc();      // current branch code, "" when none
QString NomeFiliProc();  // its name
bool ModuFili();         // true when the host fixes the branch
QString WebURL();        // application server host
int WebPort();           // application server port
// The site's other application servers, each with its port (server/port
// when the setting names none).
QList<TServer> ServerAlternates();
// Edit mask of picture kind `kind`: 0 product codes; other kinds have none ("").
QString DBPict(int kind);

// What the framework needs besides.
QString DatabasePath();
QChar GroupSeparatorReplacement();
bool ScannerSounds();

void SetFiliProc(const QString& code);
void SetNomeFiliProc(const QString& name);
void SetModuFili(bool fixed);
void SetWebURL(const QString& host);
void SetWebPort(int port);
void SetProductMask(const QString& mask);  // DBPict(0)
void SetDatabasePath(const QString& path);
void SetGroupSeparatorReplacement(QChar c);
void SetScannerSounds(bool on);

} // namespace Varneth
