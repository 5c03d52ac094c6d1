#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace brix {

enum class TreeNodeKind;

// The program's pictures, drawn as SVG files kept in the program's resources
// (src/ui/icons/). An icon is rendered at the sizes the program shows it at;
// a picture at its own size.
QIcon LoadIcon(const QString& name);
// The picture of the file at its own size (or size when given), times the
// device pixel ratio.
QPixmap LoadPicture(const QString& name, QSize size = {}, qreal devicePixelRatio = 1.0);

// The picture of a node of the object tree.
QIcon TreeNodeIcon(TreeNodeKind kind);
// The picture of a node with a warning sign over its lower right corner: a
// table with damage or missing files.
QIcon MarkedTreeNodeIcon(TreeNodeKind kind);
// The warning sign alone, as the log shows it before a damage line.
QIcon WarningIcon();

}  // namespace brix
