#include "Notices.h"

#include "InvoiceState.h"
#include "rpc/Envelope.h"
#include "server/RemoteNames.h"
#include "transport/NoticeSeal.h"
#include "transport/NoticeText.h"

namespace {

constexpr int MaxName = 64;

// Why `name` cannot be a station's or user's name, or "".
QString BadName(const QString& what, const QString& name, bool required)
{
    if (required && name.trimmed().isEmpty())
        return QStringLiteral("O nome da %1 não pode ser vazio.").arg(what);
    if (name.size() > MaxName)
        return QStringLiteral("O nome da %1 passa de %2 caracteres.").arg(what).arg(MaxName);
    for (const QChar c : name)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            return QStringLiteral("O nome da %1 tem caracteres de controle.").arg(what);
    return QString();
}

// The station a call names, or a refusal.
std::optional<TNoticeHub::TStation> CalledStation(const TCallContext& c, int userArg, QVariant& refusal)
{
    if (!c.Peer.Notices) {
        refusal = Rpc::Failure(QStringLiteral("Esta conexão não combinou o recurso de avisos (\"notices\")."));
        return std::nullopt;
    }
    const QString user = c.Db->User().isEmpty() ? c.Args[userArg].toString() : c.Db->User();
    const QString station = c.Args[userArg + 1].toString();
    for (const QString& problem : {BadName(QStringLiteral("estação"), station, true),
                                   BadName(QStringLiteral("pessoa usuária"), user, false)}) {
        if (!problem.isEmpty()) {
            refusal = Rpc::Failure(problem);
            return std::nullopt;
        }
    }
    return TNoticeHub::TStation{user, station};
}

QVariant Subscribe(TCallContext& c)
{
    QVariant refusal;
    const auto station = CalledStation(c, 1, refusal);
    if (!station)
        return refusal;
    const QString branch = c.Args[0].toString();
    const QString invoice = c.Args[3].toString();
    if (branch.size() > NoticeText::MaxText || invoice.size() > NoticeText::MaxText)
        return Rpc::Failure(QStringLiteral("Filial ou nota fiscal longa demais para avisos."));
    QVariantList present;
    for (const TNoticeHub::TStation& other : c.Peer.Notices->Subscribe(c.Peer.Connection, branch, *station, invoice))
        present.append(QVariant(QVariantList{other.User, other.Name}));
    return Rpc::Success(present);
}

QVariant Identify(TCallContext& c)
{
    QVariant refusal;
    const auto station = CalledStation(c, 0, refusal);
    if (!station)
        return refusal;
    c.Peer.Notices->Identify(c.Peer.Connection, *station);
    return Rpc::Success();
}

} // namespace

void PublishChange(TDatabase& db, const QString& event, const QString& branch, const QString& invoice,
                   const QString& product, std::optional<double> count)
{
    const QString user = db.User().isEmpty() ? db.Station().User : db.User();
    db.Publish(SealNotice(EncodeNotice({{event, branch, invoice, product, count, user, db.Station().Name}, QString()})));
}

double ReadingsOf(TDatabase& db, const QString& branch, const QString& invoice, const QString& product)
{
    TSql count(db, QStringLiteral("SELECT COUNT(*) FROM LEITURAIUM"
                                  " WHERE CDFILIAL = :CDFILIAL AND NRLANCTONF = :NRLANCTONF AND CDPRODUTO = :CDPRODUTO"));
    BindInvoice(count, branch, invoice).Bind(QStringLiteral(":CDPRODUTO"), product).Exec();
    return count.Next() ? count.Number(0) : 0;
}

void AddNoticeMethods(TModule& module)
{
    constexpr auto Text = TArgKind::Text;
    module.Add({Remote::AssinaAvisos, {Text, Text, Text, Text}, Subscribe, BranchInFirstArgument});
    module.Add({Remote::IdentificaEstacao, {Text, Text}, Identify});
}
