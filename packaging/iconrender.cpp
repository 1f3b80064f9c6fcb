// Renders the program's icon picture as square PNG files for the desktop's
// icon theme: iconrender SOURCE.svg SIZE OUTPUT.png
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "Aufruf: iconrender QUELLE.svg GRÖSSE ZIEL.png\n");
        return 1;
    }
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    const int size = QByteArray(argv[2]).toInt();
    if (!svg.isValid() || size <= 0) {
        std::fprintf(stderr, "iconrender: %s ist kein gültiges Bild\n", argv[1]);
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    svg.render(&painter);
    painter.end();
    if (!image.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        std::fprintf(stderr, "iconrender: %s kann nicht geschrieben werden\n", argv[3]);
        return 1;
    }
    return 0;
}
