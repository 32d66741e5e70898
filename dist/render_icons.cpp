// Writes the collector's icon as PNGs in the hicolor theme's layout, drawn by the same code as
// the window's icon, so the menu and the window show one picture.
//
//   vantrel-render-icons OUTPUT_DIR
//
// Run with QT_QPA_PLATFORM=offscreen at build time.
#include <cstdio>

#include <QDir>
#include <QGuiApplication>
#include <QString>

#include "wizard/splash_image.h"

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: vantrel-render-icons OUTPUT_DIR\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString dir = QStringLiteral("%1/hicolor/%2x%2/apps").arg(root).arg(size);
        const QString file = dir + QStringLiteral("/vantrel-collector.png");
        if (!QDir().mkpath(dir) || !wizard::IconImage(size).save(file, "PNG")) {
            std::fprintf(stderr, "vantrel-render-icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
