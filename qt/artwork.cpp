// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt/artwork.h"

#include <QImage>
#include <QList>
#include <QResource>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "qt/text.h"

namespace qt {

// The artwork ":/assets/<file>" is also embedded decoded, as
// ":/pixels/<file>" (tools/artwork_pixels.cpp gives the layout): a pixmap
// made from those bytes is the one the file would give, without loading the
// JPEG, GIF and ICO plugins and decoding before the first frame (about a
// fifth of the start-up work that is the program's own). Anything else, or
// a build without them, is read from the file.
QPixmap loadPicture(const std::string& path) {
    constexpr std::string_view kAssets = ":/assets/";
    if (path.compare(0, kAssets.size(), kAssets) == 0) {
        const QResource pixels(QStringLiteral(":/pixels/") + qstr(path.substr(kAssets.size())));
        const auto* p = pixels.data();
        const qint64 size = pixels.size();
        auto word = [p](int i) {
            std::uint32_t v = 0;
            for (int b = 3; b >= 0; --b) v = (v << 8) | p[4 * i + b];
            return v;
        };
        if (p && pixels.compressionAlgorithm() == QResource::NoCompression && size >= 24 &&
            std::memcmp(p, "ABPX", 4) == 0) {
            const int width = static_cast<int>(word(1)), height = static_cast<int>(word(2));
            const auto format = static_cast<QImage::Format>(word(3));
            const qint64 bytesPerLine = word(4), colours = word(5);
            const qint64 start = 24 + 4 * colours;
            if (start + bytesPerLine * height == size) {
                QList<QRgb> table;
                for (qint64 i = 0; i < colours; ++i) table.append(word(6 + static_cast<int>(i)));
                // Rows are read in place: the bytes live as long as the program.
                QImage image(p + start, width, height, static_cast<qsizetype>(bytesPerLine), format);
                image.setColorTable(table);
                return QPixmap::fromImage(image);
            }
        }
    }
    return QPixmap(qstr(path));  // null if missing
}

}  // namespace qt
