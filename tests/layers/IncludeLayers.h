#pragma once
// The include-layer check. The build writes, for every folder that is a
// target's (cmake/Layers.cmake), the name its headers are included by and the
// names its targets may include: their own and those of every library they
// link. A file may then include
//   - a header beside it ("Form.h"), or
//   - "name/Header.h" where name is allowed to its folder and the folder
//     behind name is not in a layer above the file's own;
// layers, lowest first: platform, services, screen, package, apps.
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

struct TLayerFolder {
    QString Path;          // relative to the source root: "platform/data"
    QString Name;          // "data"; empty for a folder that publishes nothing
    QSet<QString> Allowed; // names its targets may include
};

class TIncludeLayers {
public:
    // Reads the build's lines "<folder>|<name>|<allowed names>"; ignores
    // blank lines.
    static TIncludeLayers Parse(const QString& text);

    // The folder a file belongs to: the deepest target folder holding it;
    // nullptr when none does.
    const TLayerFolder* FolderOf(const QString& file) const;
    // The folder published as `name`; nullptr when none is.
    const TLayerFolder* Published(const QString& name) const;
    const QList<TLayerFolder>& Folders() const { return folders_; }

    // The faults of one file's includes, one text each naming the line.
    // `exists` answers whether a path relative to the source root is a file.
    QStringList Check(const QString& file, const QString& text,
                      const std::function<bool(const QString&)>& exists) const;

private:
    QList<TLayerFolder> folders_;
    QHash<QString, int> byName_;
};

// The layer of a folder path by its first component; -1 outside the layers.
int LayerRank(const QString& path);
