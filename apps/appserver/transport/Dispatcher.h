#pragma once
// The remote data modules the server offers and the dispatch of one call:
// finding the method (names compare case-insensitively, as late-bound names
// do), checking the arguments' count and kinds, running it on the worker's
// database connection and writing one log line.
//
// Dispatch failures come back as faults whose message names the method
// (a client's method name quoted cut, Rpc::Quoted); anything a method raises
// becomes an "internal" fault whose message is Portuguese and generic, the
// exception's own text going to the log only. Business refusals
// are not faults: the methods return them in their result envelope.
//
// Authorization: a method says which branches a call names or touches
// (TMethod::Branches); a call on behalf of a principal that may not work on
// one of them does not run. It is refused as a business refusal, logged
// like any other with the user and the branch.
#include "Principal.h"
#include "NoticeHub.h"
#include "rpc/Messages.h"
#include "storage/Database.h"

#include <QHash>
#include <QList>
#include <QString>
#include <functional>

enum class TArgKind { Text, Date, Packet };

// The connection a call came on, for the methods of notices: Notices is
// set only when the connection agreed "notices".
struct TCallPeer {
    TNoticeHub* Notices = nullptr;
    quint64 Connection = 0;
    QString Address;  // the client's, for the log
};

struct TCallContext {
    TDatabase* Db = nullptr;  // the worker thread's connection
    QVariantList Args;  // checked against the method's kinds; by-reference values are read back from here
    qint64 Rows = 0;    // rows read or changed, for the log
    TCallPeer Peer;
    QString RequestId;  // the client's request identifier; "" none
    TBranches Branches = TBranches::All();  // those the caller may see (TPrincipal)
};

struct TMethod {
    QString Name;
    QList<TArgKind> Args;
    std::function<QVariant(TCallContext&)> Run;
    // The branches a call names or touches, from its checked arguments; the
    // principal must be allowed on each. Null: the method touches none.
    std::function<QStringList(const QVariantList&)> Branches;
};

// TMethod::Branches of a method whose first argument is the branch, as most are.
QStringList BranchInFirstArgument(const QVariantList& args);

class TModule {
public:
    // `withheld`: what a call refused for a branch answers; invalid, the
    // refusal envelope (Rpc::Failure) of methods that answer in envelopes.
    TModule(QString name, QString id, QVariant withheld = QVariant())
        : name_(std::move(name))
        , id_(std::move(id))
        , withheld_(std::move(withheld))
    {
    }
    const QString& Name() const { return name_; }
    const QString& Id() const { return id_; }  // empty: the module has no identifier
    const QVariant& Withheld() const { return withheld_; }
    void Add(TMethod method);
    const TMethod* Find(const QString& method) const;

private:
    QString name_;
    QString id_;
    QVariant withheld_;
    QHash<QString, TMethod> methods_;  // by lower-case name
};

class TDispatcher {
public:
    void Add(TModule module);
    const TModule* Find(const QString& module) const;
    // A TResult or a TFault for the call, made on behalf of `principal` (the
    // authenticated user and its branches; no user and every branch on a
    // server without accounts) on `peer`, whose station (TNoticeHub::Identity)
    // the database connection learns for the notices.
    Rpc::TMessage Execute(const TModule& module, Rpc::TCall call, const TDbConfig& db, const TPrincipal& principal,
                          const TCallPeer& peer = {}) const;

private:
    QHash<QString, TModule> modules_;
};
