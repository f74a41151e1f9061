#include "app/AppIcon.h"

#include "common/AppTitle.h"

namespace ocu {

QIcon AppIcon() {
    // The icon theme's, where the viewer is installed; the same picture from inside the program otherwise.
    static const QIcon icon = QIcon::fromTheme(QString::fromLatin1(kDesktopId),
                                               QIcon(QStringLiteral(":/icons/org.ocuviewer.ocuviewer.svg")));
    return icon;
}

} // namespace ocu
