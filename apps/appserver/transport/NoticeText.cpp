#include "NoticeText.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString keyEvent = QStringLiteral("e");
const QString keyBranch = QStringLiteral("b");
const QString keyInvoice = QStringLiteral("i");
const QString keyProduct = QStringLiteral("p");
const QString keyCount = QStringLiteral("c");
const QString keyUser = QStringLiteral("u");
const QString keyStation = QStringLiteral("s");
const QString keyOrigin = QStringLiteral("o");

bool KnownEvent(const QString& event)
{
    for (const QString* known : {&Rpc::Notice::Reading, &Rpc::Notice::Deletion, &Rpc::Notice::Confirmation,
                                 &Rpc::Notice::Present, &Rpc::Notice::Absent})
        if (event == *known)
            return true;
    return false;
}

} // namespace

QByteArray EncodeNotice(const TServerNotice& notice)
{
    const Rpc::TNotice& n = notice.Notice;
    QJsonObject object{{keyEvent, n.Event},   {keyBranch, n.Branch}, {keyInvoice, n.Invoice}, {keyProduct, n.Product},
                       {keyUser, n.User},     {keyStation, n.Station}};
    if (n.Count)
        object.insert(keyCount, *n.Count);
    if (!notice.Origin.isEmpty())
        object.insert(keyOrigin, notice.Origin);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<TServerNotice> DecodeNotice(const QByteArray& payload)
{
    const QJsonDocument document = QJsonDocument::fromJson(payload);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    bool fits = true;
    const auto text = [&](const QString& key) {
        const QJsonValue value = object.value(key);
        if (value.isUndefined())
            return QString();
        if (!value.isString() || value.toString().size() > NoticeText::MaxText)
            fits = false;
        return value.toString();
    };
    TServerNotice notice;
    Rpc::TNotice& n = notice.Notice;
    n.Event = text(keyEvent);
    n.Branch = text(keyBranch);
    n.Invoice = text(keyInvoice);
    n.Product = text(keyProduct);
    n.User = text(keyUser);
    n.Station = text(keyStation);
    notice.Origin = text(keyOrigin);
    const QJsonValue count = object.value(keyCount);
    if (count.isDouble())
        n.Count = count.toDouble();
    else if (!count.isUndefined())
        fits = false;
    if (!fits || !KnownEvent(n.Event))
        return std::nullopt;
    return notice;
}
