#include "ui/icons.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>
#include <algorithm>

#include "ui/xhtml_tree_model.h"

namespace brix {

namespace {

QString ResourcePath(const QString& name) {
    return QStringLiteral(":/brixtallow/icons/") + name + QStringLiteral(".svg");
}

// A warning sign, an amber triangle with an exclamation mark, filling the
// square at of the painter.
void PaintWarningSign(QPainter& painter, const QRectF& at) {
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath triangle;
    triangle.moveTo(at.center().x(), at.top());
    triangle.lineTo(at.right(), at.bottom());
    triangle.lineTo(at.left(), at.bottom());
    triangle.closeSubpath();
    painter.setPen(QPen(QColor(0x7A, 0x4A, 0x00), std::max(1.0, at.width() / 12)));
    painter.setBrush(QColor(0xF0, 0xA0, 0x00));
    painter.drawPath(triangle);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    const qreal w = at.width() / 8;
    painter.drawRect(
        QRectF(at.center().x() - w / 2, at.top() + at.height() * 0.35, w, at.height() * 0.32));
    painter.drawRect(QRectF(at.center().x() - w / 2, at.top() + at.height() * 0.75, w, w));
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
        case TreeNodeKind::kDeletedRows:
            return LoadIcon(QStringLiteral("deleted"));
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

QIcon MarkedTreeNodeIcon(TreeNodeKind kind) {
    static QHash<int, QIcon> cache;
    auto it = cache.constFind(static_cast<int>(kind));
    if (it != cache.constEnd()) return *it;
    const QIcon base = TreeNodeIcon(kind);
    QIcon icon;
    for (int side : {16, 20, 24, 32, 48, 64}) {
        QPixmap pixmap = base.pixmap(QSize(side, side));
        if (pixmap.isNull()) {
            pixmap = QPixmap(side, side);
            pixmap.fill(Qt::transparent);
        }
        QPainter painter(&pixmap);
        const qreal sign = side * 0.6;
        PaintWarningSign(painter, QRectF(side - sign, side - sign, sign, sign));
        painter.end();
        icon.addPixmap(pixmap);
    }
    cache.insert(static_cast<int>(kind), icon);
    return icon;
}

QIcon WarningIcon() {
    static QIcon icon;
    if (!icon.isNull()) return icon;
    for (int side : {16, 20, 24, 32}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        PaintWarningSign(painter, QRectF(0.5, 0.5, side - 1.0, side - 1.0));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace brix
