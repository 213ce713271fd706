#pragma once
// The icons the main window paints itself: those of the export kinds, the pie and bar charts and
// the tabs of the class pages, the treemap and the changes, which no icon theme has; and theme
// icons with a built-in fallback.

#include <QIcon>
#include <QStyle>

class QColor;
class QString;

namespace folvane {

// The theme's icon `name`, else the style's standard pixmap `fallback`.
QIcon ThemedIcon(const char *name, QStyle::StandardPixmap fallback);

// A page with a coloured band carrying a short type name ("HTML", "CSV"): one export kind, 32 px.
QIcon DocumentIcon(const QString &tag, const QColor &band);

// A pie of four slices and three bars on a base line, `size` pixels square.
QIcon PieIcon(int size);
QIcon BarIcon(int size);

// The small icon of the three class pages' tabs.
QIcon ClassesIcon();

// Nested tiles: the small icon of the treemap's tab.
QIcon TreemapIcon();

// Growth and shrinkage: the small icon of the Changes tab.
QIcon ChangesIcon();

} // namespace folvane
