#include "app/app_icon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

// The resource lives in a static library: nothing else would pull it into the program.
static void InitResources() { Q_INIT_RESOURCE(quorvex); }

namespace quorvex::app {

QIcon AppIcon() {
    InitResources();
    QSvgRenderer renderer(QStringLiteral(":/quorvex/quorvex.svg"));
    QIcon icon;
    if (!renderer.isValid()) return icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace quorvex::app
