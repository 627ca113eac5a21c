// Renders the application's SVG icon as PNG files of the icon theme's fixed sizes, with Qt's own
// SVG plugin, at build time: a desktop without SVG support still finds an icon.
//
//   quillon_render_icon ICON.svg OUTPUT_FOLDER SIZE...   writes OUTPUT_FOLDER/SIZE/quillon.png
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fputs("usage: quillon_render_icon ICON.svg OUTPUT_FOLDER SIZE...\n", stderr);
        return 2;
    }
    QGuiApplication application(argc, argv);
    const QString svg = QString::fromLocal8Bit(argv[1]);
    const QDir output(QString::fromLocal8Bit(argv[2]));
    for (int i = 3; i < argc; ++i) {
        const int size = QString::fromLocal8Bit(argv[i]).toInt();
        QImageReader reader(svg);
        reader.setScaledSize(QSize(size, size));
        const QImage image = reader.read();
        const QString png = output.filePath(QString::number(size) + "/quillon.png");
        if (image.isNull() || !output.mkpath(QString::number(size)) || !image.save(png, "PNG")) {
            std::fprintf(stderr, "quillon_render_icon: %s at %d pixels: %s\n", argv[1], size,
                         qPrintable(reader.errorString()));
            return 1;
        }
    }
    return 0;
}
