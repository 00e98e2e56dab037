// Run at build time: writes the program's icon into a hicolor theme folder, the scalable SVG and
// PNGs at the sizes given, all from the drawing the program itself uses.
#include "ui/theme/Mark.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char** argv) {
    // Painting on an image needs no window system.
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: plim_icons HICOLOR_FOLDER [SIZE...]\n");
        return 2;
    }
    const QDir hicolor(args.at(1));
    const auto fail = [](const QString& path) {
        std::fprintf(stderr, "plim_icons: cannot write %s\n", qUtf8Printable(path));
        return 1;
    };
    const QString svgPath = hicolor.filePath(QStringLiteral("scalable/apps/plim.svg"));
    QFile svg(svgPath);
    if (!QDir().mkpath(QFileInfo(svgPath).path()) || !svg.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        svg.write(plim::Mark::applicationSvg()) < 0 || !svg.flush()) {
        return fail(svgPath);
    }
    for (const QString& size : args.mid(2)) {
        bool ok = false;
        const int side = size.toInt(&ok);
        if (!ok || side <= 0) {
            std::fprintf(stderr, "plim_icons: not a size: %s\n", qUtf8Printable(size));
            return 2;
        }
        const QString path = hicolor.filePath(QStringLiteral("%1x%1/apps/plim.png").arg(side));
        if (!QDir().mkpath(QFileInfo(path).path()) || !plim::Mark::applicationImage(side).save(path, "PNG")) {
            return fail(path);
        }
    }
    return 0;
}
