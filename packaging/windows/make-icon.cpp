// Writes the program's icon, as the desktop program draws it, into a Windows .ico file
// for the programs' resources: PNG images of 16 to 256 pixels in one icon directory.
// Built on Linux only (target quillmark_make_icon); scripts/windows runs it before the
// cross build.  Usage: quillmark_make_icon <out.ico>
#include "workflow/appicon.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>

#include <cstdio>
#include <vector>

namespace {

void put16(QByteArray& out, int v) {
    out.append(char(v & 0xff));
    out.append(char((v >> 8) & 0xff));
}
void put32(QByteArray& out, quint32 v) {
    put16(out, int(v & 0xffff));
    put16(out, int(v >> 16));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillmark_make_icon <out.ico>\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QIcon icon = qm::desktop::appIcon();
    const int sizes[] = {16, 24, 32, 48, 64, 128, 256};
    std::vector<QByteArray> pngs;
    for (int s : sizes) {
        QImage image = icon.pixmap(s, s).toImage().convertToFormat(QImage::Format_ARGB32);
        if (image.size() != QSize(s, s)) image = image.scaled(s, s, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "PNG")) {
            std::fprintf(stderr, "quillmark_make_icon: cannot encode %d px\n", s);
            return 1;
        }
        pngs.push_back(png);
    }
    // ICONDIR, one ICONDIRENTRY per image (0 stands for 256), then the images.
    QByteArray ico;
    put16(ico, 0);
    put16(ico, 1);
    put16(ico, int(pngs.size()));
    quint32 offset = 6 + 16 * quint32(pngs.size());
    for (size_t i = 0; i < pngs.size(); ++i) {
        const int s = sizes[i];
        ico.append(char(s >= 256 ? 0 : s));
        ico.append(char(s >= 256 ? 0 : s));
        ico.append(char(0));  // no palette
        ico.append(char(0));
        put16(ico, 1);   // planes
        put16(ico, 32);  // bits per pixel
        put32(ico, quint32(pngs[i].size()));
        put32(ico, offset);
        offset += quint32(pngs[i].size());
    }
    for (const QByteArray& png : pngs) ico.append(png);
    QFile out(QString::fromLocal8Bit(argv[1]));
    if (!out.open(QIODevice::WriteOnly) || out.write(ico) != ico.size() || !out.flush()) {
        std::fprintf(stderr, "quillmark_make_icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
