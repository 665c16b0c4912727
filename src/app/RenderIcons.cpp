// Used while building: draws the program's SVG icon as the PNG files of the
// sizes a desktop's icon theme looks for, with Qt's own SVG reader, so they
// look like the window icon the program draws from the same file.
//   varnelle_render_icons <icon.svg> <theme folder> <size>...
// writes <theme folder>/<size>x<size>/apps/<icon name>.png for each size.

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QSaveFile>
#include <cstdio>

int main(int argc, char* argv[]) {
    // No display is needed, and none may be at hand in a build.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: %s icon.svg theme-folder size...\n", argv[0]);
        return 2;
    }
    const QString source = args.at(1);
    const QString name = QFileInfo(source).completeBaseName();
    for (qsizetype i = 3; i < args.size(); ++i) {
        bool ok = false;
        const int size = args.at(i).toInt(&ok);
        if (!ok || size <= 0) {
            std::fprintf(stderr, "not a size: %s\n", qPrintable(args.at(i)));
            return 2;
        }
        QImageReader reader(source, "svg");
        reader.setScaledSize(QSize(size, size));
        const QImage image = reader.read();
        if (image.isNull() || image.size() != QSize(size, size)) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(source), qPrintable(reader.errorString()));
            return 1;
        }
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(args.at(2)).arg(size);
        QDir().mkpath(folder);
        // Whole or not at all: a build cut short leaves no broken icon behind.
        QSaveFile file(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
        if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
            return 1;
        }
    }
    return 0;
}
