#include "ui/icons.h"

#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

#include "ui/xhtml_tree_model.h"

namespace brix {

namespace {

QString ResourcePath(const QString& name) {
    return QStringLiteral(":/brixtallow/icons/") + name + QStringLiteral(".svg");
}

}  // namespace

QPixmap LoadPicture(const QString& name, QSize size, qreal devicePixelRatio) {
    QSvgRenderer renderer(ResourcePath(name));
    if (!renderer.isValid()) return {};
    if (size.isEmpty()) size = renderer.defaultSize();
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QIcon LoadIcon(const QString& name) {
    static QHash<QString, QIcon> cache;
    auto it = cache.constFind(name);
    if (it != cache.constEnd()) return *it;
    QIcon icon;
    for (int side : {16, 20, 24, 32, 48, 64}) icon.addPixmap(LoadPicture(name, QSize(side, side)));
    cache.insert(name, icon);
    return icon;
}

QIcon TreeNodeIcon(TreeNodeKind kind) {
    switch (kind) {
        case TreeNodeKind::kRoot:
            return LoadIcon(QStringLiteral("server"));
        case TreeNodeKind::kDatabase:
            return LoadIcon(QStringLiteral("database"));
        case TreeNodeKind::kTable:
            return LoadIcon(QStringLiteral("table"));
        case TreeNodeKind::kKeys:
            return LoadIcon(QStringLiteral("keys"));
        case TreeNodeKind::kViews:
        case TreeNodeKind::kView:
            return LoadIcon(QStringLiteral("view"));
        case TreeNodeKind::kTriggers:
        case TreeNodeKind::kTrigger:
            return LoadIcon(QStringLiteral("trigger"));
        case TreeNodeKind::kFolder:
            break;
    }
    return LoadIcon(QStringLiteral("folder"));
}

}  // namespace brix
