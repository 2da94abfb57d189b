// SPDX-License-Identifier: GPL-3.0-or-later
// Build tool: decodes a picture once, at build time, into the layout that
// qt/artwork.cpp reads back without any decoder:
//
//   "ABPX", then width, height, QImage::Format, bytes per line and the number
//   of colours as 32-bit little-endian integers, the colour table (one QRgb
//   each) and the rows of pixels.
//
// The image is stored exactly as Qt's own reader gives it, so a pixmap made
// from it is the one a pixmap loaded from the file would be.
//
//     artwork_pixels IN OUT
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <cstdint>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: artwork_pixels IN OUT\n");
        return 2;
    }
    QCoreApplication app(argc, argv);  // finds the image-format plugins
    const QImage image(QString::fromLocal8Bit(argv[1]));
    if (image.isNull()) {
        std::fprintf(stderr, "artwork_pixels: cannot read %s\n", argv[1]);
        return 1;
    }
    QByteArray out("ABPX");
    auto put = [&out](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out.append(static_cast<char>((v >> (8 * i)) & 0xff));
    };
    put(image.width());
    put(image.height());
    put(image.format());
    put(image.bytesPerLine());
    const auto colours = image.colorTable();
    put(colours.size());
    for (QRgb c : colours) put(c);
    for (int y = 0; y < image.height(); ++y)
        out.append(reinterpret_cast<const char*>(image.constScanLine(y)), image.bytesPerLine());
    QFile f(QString::fromLocal8Bit(argv[2]));
    if (!f.open(QIODevice::WriteOnly) || f.write(out) != out.size()) {
        std::fprintf(stderr, "artwork_pixels: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
