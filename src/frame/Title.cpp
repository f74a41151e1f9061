#include "frame/Title.h"

namespace ocu {

QString ViewerTitle(const QString& model, int width, int height, std::optional<double> framesPerSecond) {
    const QByteArray name = model.toUtf8();
    if (framesPerSecond)
        return QString::asprintf("%s Viewer [%d x %d]  %f(fps)", name.constData(), width, height,
                                 *framesPerSecond);
    return QString::asprintf("%s Viewer [%d x %d]", name.constData(), width, height);
}

QString WaitingTitle(const QString& model, int width, int height, bool trigger) {
    return ViewerTitle(model, width, height) + (trigger ? QStringLiteral("  waiting for a trigger...")
                                                        : QStringLiteral("  waiting for the first frame..."));
}

} // namespace ocu
