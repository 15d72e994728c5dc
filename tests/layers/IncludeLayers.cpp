#include "IncludeLayers.h"

#include <QRegularExpression>

int LayerRank(const QString& path)
{
    static const QStringList layers{QStringLiteral("platform"), QStringLiteral("services"), QStringLiteral("screen"),
                                    QStringLiteral("package"), QStringLiteral("apps")};
    return layers.indexOf(path.section(QLatin1Char('/'), 0, 0));
}

TIncludeLayers TIncludeLayers::Parse(const QString& text)
{
    TIncludeLayers layers;
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList parts = line.split(QLatin1Char('|'));
        if (parts.size() != 3)
            continue;
        TLayerFolder folder{parts[0], parts[1], {}};
        for (const QString& name : parts[2].split(QLatin1Char(' '), Qt::SkipEmptyParts))
            folder.Allowed.insert(name);
        if (!folder.Name.isEmpty())
            layers.byName_.insert(folder.Name, int(layers.folders_.size()));
        layers.folders_.append(folder);
    }
    return layers;
}

const TLayerFolder* TIncludeLayers::FolderOf(const QString& file) const
{
    const TLayerFolder* best = nullptr;
    for (const TLayerFolder& folder : folders_) {
        if (file.startsWith(folder.Path + QLatin1Char('/')) && (!best || folder.Path.size() > best->Path.size()))
            best = &folder;
    }
    return best;
}

const TLayerFolder* TIncludeLayers::Published(const QString& name) const
{
    const auto found = byName_.constFind(name);
    return found == byName_.constEnd() ? nullptr : &folders_[*found];
}

QStringList TIncludeLayers::Check(const QString& file, const QString& text,
                                  const std::function<bool(const QString&)>& exists) const
{
    static const QRegularExpression include(QStringLiteral(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])"),
                                            QRegularExpression::MultilineOption);
    QStringList faults;
    const TLayerFolder* own = FolderOf(file);
    if (!own)
        return {file + QStringLiteral(": belongs to no target's folder")};
    const QString dir = file.section(QLatin1Char('/'), 0, -2);
    for (auto it = include.globalMatch(text); it.hasNext();) {
        const auto match = it.next();
        const bool quoted = match.captured(1) == QLatin1String("\"");
        const QString header = match.captured(2);
        const int line = int(text.left(match.capturedStart()).count(QLatin1Char('\n'))) + 1;
        const QString where = QStringLiteral("%1:%2: \"%3\"").arg(file).arg(line).arg(header);
        if (header.contains(QLatin1String(".."))) {
            faults << where + QStringLiteral(" climbs out of its folder");
            continue;
        }
        if (!header.contains(QLatin1Char('/'))) {
            if (quoted && !exists(dir + QLatin1Char('/') + header))
                faults << where + QStringLiteral(" is no header beside the file");
            continue;
        }
        const TLayerFolder* target = Published(header.section(QLatin1Char('/'), 0, 0));
        if (!target) {
            if (quoted)
                faults << where + QStringLiteral(" names no published folder");
            continue;
        }
        if (LayerRank(target->Path) > LayerRank(own->Path))
            faults << where + QStringLiteral(" reaches up from %1 to %2").arg(own->Path, target->Path);
        else if (!own->Allowed.contains(target->Name))
            faults << where + QStringLiteral(" is from %1, which the target of %2 does not link")
                                  .arg(target->Path, own->Path);
    }
    return faults;
}
