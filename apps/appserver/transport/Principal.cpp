#include "Principal.h"

#include <QRegularExpression>

std::optional<TBranches> TBranches::Parse(const QString& text, QString& error)
{
    if (text.trimmed() == QLatin1String("*"))
        return All();
    static const QRegularExpression code(QStringLiteral("^[0-9]{4}$"));
    TBranches branches;
    branches.all_ = false;
    for (const QString& part : text.split(u',')) {
        const QString branch = part.trimmed();
        if (!code.match(branch).hasMatch()) {
            error = QStringLiteral("lista de filiais inválida: '%1' (códigos de 4 dígitos separados por vírgula, "
                                   "como 0001,0003, ou * para todas)")
                        .arg(text.left(100));
            return std::nullopt;
        }
        branches.codes_.append(branch);
    }
    branches.codes_.sort();
    branches.codes_.removeDuplicates();
    return branches;
}

QString TBranches::Text() const
{
    return all_ ? QStringLiteral("*") : codes_.join(u',');
}
