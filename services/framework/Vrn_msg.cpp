#include "Vrn_msg.h"

#include "rtl/Exceptions.h"
#include "rtl/StrUtils.h"

QString TMessages::Msg(const QString& key) const
{
    const QString wanted = TrimRight(key);
    for (const QString& line : messages_) {
        const qsizetype bar = line.indexOf(u'|');
        if (bar >= 0 && !wanted.isEmpty() && TrimRight(line.left(bar)) == wanted)
            return line.mid(bar + 1);
    }
    throw Exception(QStringLiteral("Mensagem '%1' não encontrada no catálogo '%2'.").arg(key, Name()));
}

TModalResult TMessages::ShowMsg(const QString& key, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext) const
{
    return MessageDlg(Msg(key), type, buttons, helpContext);
}
