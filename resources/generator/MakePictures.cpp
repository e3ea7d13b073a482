// Draws the program's built-in pictures into a resources directory:
//   CHECKBOX.bmp         the image check box strip: 56 frames of 18 x 18, 8 bits per pixel
//   glyphs/first.bmp     the navigation bar glyphs: 32 x 16, enabled image left, disabled right
//   glyphs/prev.bmp, glyphs/next.bmp, glyphs/last.bmp
//   no_image.jpg         the picture of a result without a thumbnail, 120 x 90
// Usage: MakePictures <resources directory>

#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontInfo>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QVector>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace {

constexpr int FrameSize = 18;
constexpr int StyleCount = 14;

const QRgb Magenta = qRgb(255, 0, 255);
const QRgb Black = qRgb(0, 0, 0);
const QRgb White = qRgb(255, 255, 255);
const QRgb Grey = qRgb(128, 128, 128);
const QRgb Silver = qRgb(192, 192, 192);
const QRgb DisabledFace = qRgb(160, 160, 164);
const QRgb Blue = qRgb(0, 0, 255);
const QRgb Navy = qRgb(0, 0, 128);
const QRgb Olive = qRgb(128, 128, 0);
const QRgb Cyan = qRgb(0, 255, 255);

// The 8-bit palette: the twenty static colours of the classic 256-colour display, the 6 x 6 x 6
// colour cube, a few colours of the picture styles, then greys up to 256 entries.
QVector<QRgb> makePalette() {
    QVector<QRgb> palette = {
        qRgb(0, 0, 0),       qRgb(128, 0, 0),     qRgb(0, 128, 0),     qRgb(128, 128, 0),
        qRgb(0, 0, 128),     qRgb(128, 0, 128),   qRgb(0, 128, 128),   qRgb(192, 192, 192),
        qRgb(192, 220, 192), qRgb(166, 202, 240), qRgb(255, 251, 240), qRgb(160, 160, 164),
        qRgb(128, 128, 128), qRgb(255, 0, 0),     qRgb(0, 255, 0),     qRgb(255, 255, 0),
        qRgb(0, 0, 255),     qRgb(255, 0, 255),   qRgb(0, 255, 255),   qRgb(255, 255, 255),
    };
    const auto add = [&](QRgb c) {
        if (!palette.contains(c) && palette.size() < 256)
            palette.append(c);
    };
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                add(qRgb(r * 51, g * 51, b * 51));
    for (QRgb c : {qRgb(255, 128, 0), qRgb(128, 64, 0), qRgb(222, 184, 135), qRgb(139, 90, 43),
                   qRgb(96, 64, 32), qRgb(0, 224, 0), qRgb(128, 255, 128), qRgb(0, 96, 0),
                   qRgb(0, 64, 0), qRgb(0, 0, 64), qRgb(0, 0, 192), qRgb(64, 64, 255),
                   qRgb(128, 128, 255), qRgb(160, 160, 255), qRgb(200, 200, 255), qRgb(148, 0, 211),
                   qRgb(200, 120, 240), qRgb(90, 0, 130)})
        add(c);
    for (int v : {224, 212, 240, 96, 64, 32, 176, 144, 112, 80,  48,  16,  232, 248,
                  8,   24,  40,  56, 72, 88, 104, 120, 136, 168, 184, 200, 216})
        add(qRgb(v, v, v));
    for (int v = 0; palette.size() < 256; ++v)
        add(qRgb(v, v, v));
    return palette;
}

QImage toIndexed(const QImage& image, const QVector<QRgb>& palette) {
    QImage result(image.size(), QImage::Format_Indexed8);
    result.setColorTable(palette);
    QHash<QRgb, int> cache;
    for (int i = 0; i < palette.size(); ++i)
        cache.insert(palette[i] | 0xFF000000, i);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y) | 0xFF000000;
            auto it = cache.find(c);
            if (it == cache.end()) {
                int best = 0;
                long bestDistance = -1;
                for (int i = 0; i < palette.size(); ++i) {
                    const long dr = qRed(c) - qRed(palette[i]);
                    const long dg = qGreen(c) - qGreen(palette[i]);
                    const long db = qBlue(c) - qBlue(palette[i]);
                    const long distance = dr * dr + dg * dg + db * db;
                    if (bestDistance < 0 || distance < bestDistance) {
                        bestDistance = distance;
                        best = i;
                    }
                }
                it = cache.insert(c, best);
            }
            result.setPixel(x, y, uint(*it));
        }
    }
    return result;
}

void putLittleEndian(QByteArray& out, quint32 value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.append(char(value >> (8 * i) & 0xFF));
}

// A bottom-up BMP file, 8 bits per pixel, 256 palette entries of blue, green, red, 0.
bool writeBmp8(const QString& path, const QImage& indexed) {
    const int width = indexed.width();
    const int height = indexed.height();
    const int stride = (width + 3) & ~3;
    const quint32 pixelBytes = quint32(stride * height);
    const quint32 offset = 14 + 40 + 256 * 4;
    QByteArray out;
    out.append("BM");
    putLittleEndian(out, offset + pixelBytes, 4);
    putLittleEndian(out, 0, 4);
    putLittleEndian(out, offset, 4);
    putLittleEndian(out, 40, 4);
    putLittleEndian(out, quint32(width), 4);
    putLittleEndian(out, quint32(height), 4);
    putLittleEndian(out, 1, 2);
    putLittleEndian(out, 8, 2);
    putLittleEndian(out, 0, 4); // no compression
    putLittleEndian(out, pixelBytes, 4);
    putLittleEndian(out, 0, 4);
    putLittleEndian(out, 0, 4);
    putLittleEndian(out, 256, 4);
    putLittleEndian(out, 0, 4);
    const QVector<QRgb> colors = indexed.colorTable();
    for (int i = 0; i < 256; ++i) {
        const QRgb c = i < colors.size() ? colors[i] : 0;
        out.append(char(qBlue(c)));
        out.append(char(qGreen(c)));
        out.append(char(qRed(c)));
        out.append(char(0));
    }
    for (int y = height - 1; y >= 0; --y) {
        out.append(reinterpret_cast<const char*>(indexed.constScanLine(y)), width);
        out.append(QByteArray(stride - width, '\0'));
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size();
}

QRgb mix(QRgb a, QRgb b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return qRgb(int(std::lround(qRed(a) + (qRed(b) - qRed(a)) * t)),
                int(std::lround(qGreen(a) + (qGreen(b) - qGreen(a)) * t)),
                int(std::lround(qBlue(a) + (qBlue(b) - qBlue(a)) * t)));
}

// One 18 x 18 frame of the strip, drawn in its own coordinates.
class Frame {
public:
    Frame(QImage& strip, int index)
        : m_strip(strip)
        , m_left(index * FrameSize) {}

    void pixel(int x, int y, QRgb c) {
        if (x >= 0 && x < FrameSize && y >= 0 && y < FrameSize)
            m_strip.setPixel(m_left + x, y, c);
    }
    QRgb pixelAt(int x, int y) const { return m_strip.pixel(m_left + x, y); }

    void fill(int x, int y, int w, int h, QRgb c) {
        for (int j = y; j < y + h; ++j)
            for (int i = x; i < x + w; ++i)
                pixel(i, j, c);
    }
    void horizontalLine(int x1, int x2, int y, QRgb c) { fill(x1, y, x2 - x1 + 1, 1, c); }
    void verticalLine(int x, int y1, int y2, QRgb c) { fill(x, y1, 1, y2 - y1 + 1, c); }

    // A square of side n at (x, y) with the classic two-line sunken edge.
    void sunken(int x, int y, int n, QRgb face) {
        const int r = x + n - 1;
        const int b = y + n - 1;
        horizontalLine(x, r - 1, y, Grey);
        verticalLine(x, y, b - 1, Grey);
        horizontalLine(x + 1, r - 2, y + 1, Black);
        verticalLine(x + 1, y + 1, b - 2, Black);
        horizontalLine(x + 1, r - 1, b - 1, Silver);
        verticalLine(r - 1, y + 1, b - 1, Silver);
        horizontalLine(x, r, b, White);
        verticalLine(r, y, b, White);
        fill(x + 2, y + 2, n - 4, n - 4, face);
    }

    // A square of side n at (x, y) with the classic two-line raised edge.
    void raised(int x, int y, int n, QRgb face, QRgb light = White, QRgb shadow = Grey,
                QRgb dark = Black) {
        const int r = x + n - 1;
        const int b = y + n - 1;
        fill(x, y, n, n, face);
        horizontalLine(x, r - 1, y, light);
        verticalLine(x, y, b - 1, light);
        horizontalLine(x, r, b, dark);
        verticalLine(r, y, b, dark);
        horizontalLine(x + 1, r - 1, b - 1, shadow);
        verticalLine(r - 1, y + 1, b - 1, shadow);
    }

    // The pixels of a shape given by a predicate over pixel centres, with an outline of the
    // given thickness (0 for none) along its edge.
    void shape(const std::function<bool(double, double)>& inside, QRgb face, QRgb outline,
               int thickness) {
        const auto in = [&](int x, int y) { return inside(x + 0.5, y + 0.5); };
        for (int y = 0; y < FrameSize; ++y) {
            for (int x = 0; x < FrameSize; ++x) {
                if (!in(x, y))
                    continue;
                bool edge = false;
                for (int dy = -thickness; dy <= thickness && !edge; ++dy)
                    for (int dx = -thickness; dx <= thickness && !edge; ++dx)
                        if (std::abs(dx) + std::abs(dy) <= thickness && !in(x + dx, y + dy))
                            edge = true;
                pixel(x, y, edge ? outline : face);
            }
        }
    }

    void roundSquare(int x, int y, int n, double radius, QRgb face, QRgb outline, int thickness) {
        shape(
            [=](double px, double py) {
                if (px < x || px > x + n || py < y || py > y + n)
                    return false;
                const double cx = std::clamp(px, x + radius, x + n - radius);
                const double cy = std::clamp(py, y + radius, y + n - radius);
                return std::hypot(px - cx, py - cy) <= radius;
            },
            face, outline, thickness);
    }

    void disc(double cx, double cy, double r, QRgb face, QRgb outline = 0, int thickness = 0) {
        shape([=](double px, double py) { return std::hypot(px - cx, py - cy) <= r; }, face,
              outline, thickness);
    }

    // A shaded ball: light from the upper left, a small highlight, darker towards the rim.
    void ball(double cx, double cy, double r, QRgb base, bool glassy = false) {
        for (int y = 0; y < FrameSize; ++y) {
            for (int x = 0; x < FrameSize; ++x) {
                const double dx = x + 0.5 - cx;
                const double dy = y + 0.5 - cy;
                const double d = std::hypot(dx, dy);
                if (d > r)
                    continue;
                const double light = std::hypot(dx + r * 0.4, dy + r * 0.4) / (r * 1.4);
                QRgb c = light < 0.25 ? mix(White, base, light / 0.25 * (glassy ? 0.3 : 0.6))
                                      : mix(base, Black, (light - 0.25) * (glassy ? 0.5 : 0.7));
                pixel(x, y, c);
            }
        }
    }

    // A tick of three-pixel stroke through the given centre points: core two pixels high,
    // edged all round, with an optional one-pixel shadow to the lower right. Only pixels where
    // allowed() holds are drawn.
    void tick(const std::vector<std::pair<int, int>>& centres, QRgb core, QRgb edge,
              std::optional<QRgb> shadow, const std::function<bool(int, int)>& allowed) {
        bool mask[FrameSize + 2][FrameSize + 2] = {};
        const auto inCore = [&](int x, int y) {
            return x >= 0 && x < FrameSize && y >= 0 && y < FrameSize && mask[y][x];
        };
        for (auto [x, y] : centres) {
            for (int yy : {y - 1, y})
                if (x >= 0 && x < FrameSize && yy >= 0 && yy < FrameSize)
                    mask[yy][x] = true;
        }
        bool tick[FrameSize][FrameSize] = {};
        for (int y = 0; y < FrameSize; ++y) {
            for (int x = 0; x < FrameSize; ++x) {
                if (inCore(x, y)) {
                    tick[y][x] = true;
                } else if (inCore(x - 1, y) || inCore(x + 1, y) || inCore(x, y - 1) ||
                           inCore(x, y + 1)) {
                    tick[y][x] = true;
                }
            }
        }
        if (shadow) {
            for (int y = FrameSize - 2; y >= 0; --y)
                for (int x = FrameSize - 2; x >= 0; --x)
                    if (tick[y][x] && !tick[y + 1][x + 1] && allowed(x + 1, y + 1))
                        pixel(x + 1, y + 1, *shadow);
        }
        for (int y = 0; y < FrameSize; ++y)
            for (int x = 0; x < FrameSize; ++x)
                if (tick[y][x] && allowed(x, y))
                    pixel(x, y, inCore(x, y) ? core : edge);
    }

    // A line of the given width between two points (for sticks and crosses).
    void line(double x1, double y1, double x2, double y2, double width, QRgb c) {
        const double lx = x2 - x1;
        const double ly = y2 - y1;
        const double length2 = lx * lx + ly * ly;
        for (int y = 0; y < FrameSize; ++y) {
            for (int x = 0; x < FrameSize; ++x) {
                const double px = x + 0.5;
                const double py = y + 0.5;
                const double t = std::clamp(((px - x1) * lx + (py - y1) * ly) / length2, 0.0, 1.0);
                if (std::hypot(px - (x1 + t * lx), py - (y1 + t * ly)) <= width / 2)
                    pixel(x, y, c);
            }
        }
    }

private:
    QImage& m_strip;
    int m_left;
};

// The tick that reaches out over the top right corner of a box in columns 0 to 13, rows 2 to
// 15: from the box's left side down to its lower middle, then up into columns 14 to 17 of
// rows 2 to 7.
const std::vector<std::pair<int, int>> CornerTick = {{2, 8},  {3, 9},  {4, 10}, {5, 11}, {6, 12},
                                                     {7, 12}, {8, 11}, {9, 10}, {10, 9}, {11, 8},
                                                     {12, 7}, {13, 6}, {14, 5}, {15, 4}, {16, 4}};

bool inCornerTickArea(int x, int y) {
    const bool inside = x >= 2 && x <= 11 && y >= 4 && y <= 13;
    const bool corner = x >= 12 && x <= 17 && y >= 2 && y <= 7;
    return inside || corner;
}

// A smaller tick inside a 14 x 14 box at (2, 2).
const std::vector<std::pair<int, int>> SmallTick = {{5, 9}, {6, 10}, {7, 11}, {8, 10},
                                                    {9, 9}, {10, 8}, {11, 7}, {12, 6}};

bool inBox(int x, int y) {
    return x >= 4 && x <= 13 && y >= 4 && y <= 13;
}

// Style 1, the one the program's result slots use.
void drawStyle1(Frame& f, bool checked, bool disabled) {
    f.sunken(0, 2, 14, disabled ? DisabledFace : White);
    if (checked) {
        if (disabled)
            f.tick(CornerTick, Grey, Grey, std::nullopt, inCornerTickArea);
        else
            f.tick(CornerTick, Blue, Navy, Grey, inCornerTickArea);
    }
}

void drawStyle2(Frame& f, bool checked, bool disabled) {
    if (disabled)
        f.roundSquare(2, 2, 14, 3.5, qRgb(224, 224, 224), qRgb(224, 224, 224), 0);
    else
        f.roundSquare(2, 2, 14, 3.5, Silver, Black, 1);
    if (checked)
        f.disc(9, 9, 3.2, disabled ? qRgb(176, 176, 176) : qRgb(48, 48, 48));
}

void drawStyle3(Frame& f, bool checked, bool disabled) {
    const QRgb face = disabled ? qRgb(0, 96, 0) : qRgb(0, 224, 0);
    const QRgb light = disabled ? qRgb(0, 128, 0) : qRgb(128, 255, 128);
    const QRgb dark = disabled ? qRgb(0, 64, 0) : qRgb(0, 128, 0);
    f.fill(2, 2, 14, 14, face);
    for (int k = 0; k < 2; ++k) {
        f.horizontalLine(2 + k, 15 - k, 2 + k, light);
        f.verticalLine(2 + k, 2 + k, 15 - k, light);
        f.horizontalLine(2 + k, 15 - k, 15 - k, dark);
        f.verticalLine(15 - k, 3 + k, 15 - k, dark);
    }
    if (checked) {
        f.disc(9, 9, 3.9, disabled ? qRgb(32, 32, 32) : Black);
        const QRgb spot = disabled ? qRgb(96, 96, 96) : White;
        f.pixel(7, 7, spot);
        f.pixel(8, 7, spot);
        f.pixel(7, 8, spot);
    }
}

void drawStyle4(Frame& f, bool checked, bool disabled) {
    const QRgb tick = disabled ? qRgb(176, 176, 176) : Black;
    if (!checked) {
        if (disabled)
            f.raised(2, 2, 14, qRgb(224, 224, 224), White, Silver, qRgb(160, 160, 160));
        else
            f.raised(2, 2, 14, Silver);
        return;
    }
    if (disabled)
        f.raised(2, 2, 14, qRgb(224, 224, 224), qRgb(160, 160, 160), qRgb(224, 224, 224), White);
    else
        f.sunken(2, 2, 14, qRgb(224, 224, 224));
    const std::vector<std::pair<int, int>> large = {{4, 8}, {5, 9},  {6, 10}, {7, 11}, {8, 10},
                                                    {9, 9}, {10, 8}, {11, 7}, {12, 6}, {13, 5}};
    f.tick(large, tick, tick, std::nullopt, inBox);
}

void drawStyle5(Frame& f, bool checked, bool disabled) {
    f.roundSquare(2, 2, 14, 4, Silver, Black, 2);
    if (checked)
        f.tick(SmallTick, disabled ? qRgb(224, 224, 224) : Black, Silver, std::nullopt,
               [](int x, int y) { return x >= 5 && x <= 12 && y >= 5 && y <= 12; });
}

void drawStyle6(Frame& f, bool checked, bool disabled) {
    const QRgb border = disabled ? Grey : Black;
    f.fill(0, 2, 14, 14, border);
    f.fill(2, 4, 10, 10, Silver);
    if (checked) {
        if (disabled)
            f.tick(CornerTick, Grey, Grey, std::nullopt, inCornerTickArea);
        else
            f.tick(CornerTick, qRgb(255, 128, 0), qRgb(128, 64, 0), std::nullopt, inCornerTickArea);
    }
}

void drawStyle7(Frame& f, bool checked, bool disabled) {
    if (disabled) {
        if (checked)
            f.raised(2, 2, 14, qRgb(224, 224, 224), qRgb(160, 160, 160), qRgb(224, 224, 224),
                     White);
        else
            f.raised(2, 2, 14, qRgb(224, 224, 224), White, Silver, qRgb(160, 160, 160));
    } else if (checked) {
        f.sunken(2, 2, 14, Silver);
    } else {
        f.raised(2, 2, 14, Silver);
    }
    if (checked)
        f.fill(6, 6, 6, 6, disabled ? qRgb(96, 96, 96) : Black);
}

void drawStyle8(Frame& f, bool checked, bool disabled) {
    const auto diamond = [](double r) {
        return [r](double px, double py) { return std::abs(px - 9) + std::abs(py - 9) <= r; };
    };
    f.shape(diamond(8), disabled ? DisabledFace : Silver, disabled ? Grey : Black, 1);
    if (checked)
        f.shape(diamond(3.5), disabled ? Olive : Black, 0, 0);
}

void drawStyle9(Frame& f, bool checked, bool disabled) {
    f.fill(2, 2, 14, 14, disabled ? qRgb(96, 64, 32) : qRgb(139, 90, 43));
    f.fill(3, 3, 12, 12, disabled ? qRgb(139, 90, 43) : qRgb(222, 184, 135));
    if (checked) {
        f.line(5, 5, 13, 13, 2, Black);
        f.line(13, 5, 5, 13, 2, Black);
    }
}

void drawStyle10(Frame& f, bool checked, bool disabled) {
    f.roundSquare(2, 2, 14, 3.5, disabled ? qRgb(212, 212, 212) : White, Black, 1);
    if (checked) {
        if (disabled)
            f.disc(9, 9, 3, qRgb(160, 160, 255));
        else
            f.ball(9, 9, 3.2, Blue);
    }
}

void drawStyle11(Frame& f, bool checked, bool disabled) {
    if (!checked) {
        f.fill(2, 2, 14, 14, disabled ? Grey : Navy);
        f.disc(9, 9, 5.5, disabled ? qRgb(96, 96, 96) : qRgb(0, 0, 64));
        return;
    }
    f.fill(2, 2, 14, 14, disabled ? Grey : Blue);
    if (disabled)
        f.raised(5, 5, 8, qRgb(224, 224, 224), White, Silver, qRgb(176, 176, 176));
    else
        f.raised(4, 4, 10, Silver);
}

void drawStyle12(Frame& f, bool checked, bool disabled) {
    if (!checked) {
        f.disc(9, 9, 7.2, disabled ? Grey : Navy);
        return;
    }
    f.disc(9, 9, 7.2, disabled ? Grey : Blue);
    f.disc(9, 9, 5.2, disabled ? qRgb(96, 96, 96) : Navy);
    if (disabled)
        f.disc(9, 9, 3.2, qRgb(224, 224, 224));
    else
        f.ball(9, 9, 3.4, White);
}

void drawStyle13(Frame& f, bool checked, bool disabled) {
    f.sunken(2, 2, 14, disabled ? DisabledFace : Silver);
    if (checked)
        f.ball(9, 9, 4.8, disabled ? Grey : Blue, true);
}

void drawStyle14(Frame& f, bool checked, bool disabled) {
    const QRgb ball = disabled ? Grey : qRgb(148, 0, 211);
    if (checked) {
        f.ball(12, 12, 4, ball);
        return;
    }
    f.line(6, 6, 17, 17, 2, disabled ? Silver : qRgb(90, 0, 130));
    f.ball(6, 6, 4, ball);
}

QImage makeStrip() {
    using Draw = void (*)(Frame&, bool, bool);
    const Draw styles[StyleCount] = {drawStyle1,  drawStyle2,  drawStyle3,  drawStyle4, drawStyle5,
                                     drawStyle6,  drawStyle7,  drawStyle8,  drawStyle9, drawStyle10,
                                     drawStyle11, drawStyle12, drawStyle13, drawStyle14};
    QImage strip(FrameSize * StyleCount * 4, FrameSize, QImage::Format_RGB32);
    strip.fill(Magenta);
    for (int style = 0; style < StyleCount; ++style) {
        for (int state = 0; state < 4; ++state) {
            Frame frame(strip, style * 4 + state);
            styles[style](frame, (state & 1) != 0, (state & 2) != 0);
        }
    }
    return strip;
}

enum class Mark { First, Previous, Next, Last };

// One 16 x 16 image of a navigation glyph at column offset x0.
void drawGlyph(QImage& image, int x0, Mark mark, bool enabled) {
    const auto px = [&](int x, int y, QRgb c) { image.setPixel(x0 + x, y, c); };
    // The 13 x 13 raised box at (1, 1).
    const QRgb frame = enabled ? Black : Grey;
    for (int i = 1; i <= 13; ++i) {
        px(i, 1, frame);
        px(i, 13, frame);
        px(1, i, frame);
        px(13, i, frame);
    }
    for (int i = 2; i <= 12; ++i) {
        px(i, 12, Grey);
        px(12, i, Grey);
    }
    for (int i = 2; i <= 11; ++i) {
        px(i, 2, White);
        px(2, i, White);
    }
    for (int y = 3; y <= 11; ++y)
        for (int x = 3; x <= 11; ++x)
            px(x, y, Cyan);

    // Triangles seven rows high (rows 4 to 10), four columns wide.
    std::vector<std::pair<int, int>> pixels;
    const auto leftTriangle = [&](int tip) {
        for (int k = 0; k < 4; ++k)
            for (int y = 7 - k; y <= 7 + k; ++y)
                pixels.emplace_back(tip + k, y);
    };
    const auto rightTriangle = [&](int tip) {
        for (int k = 0; k < 4; ++k)
            for (int y = 7 - k; y <= 7 + k; ++y)
                pixels.emplace_back(tip - k, y);
    };
    const auto bar = [&](int x) {
        for (int y = 4; y <= 10; ++y) {
            pixels.emplace_back(x, y);
            pixels.emplace_back(x + 1, y);
        }
    };
    switch (mark) {
    case Mark::First:
        leftTriangle(4);
        bar(9);
        break;
    case Mark::Previous:
        leftTriangle(5);
        break;
    case Mark::Next:
        rightTriangle(9);
        break;
    case Mark::Last:
        bar(4);
        rightTriangle(10);
        break;
    }
    if (enabled) {
        for (auto [x, y] : pixels)
            px(x, y, Black);
    } else {
        for (auto [x, y] : pixels)
            px(x + 1, y + 1, White);
        for (auto [x, y] : pixels)
            px(x, y, Grey);
    }
}

QImage makeGlyph(Mark mark) {
    QImage image(32, 16, QImage::Format_RGB32);
    image.fill(Olive); // the bottom-left pixel: transparent
    drawGlyph(image, 0, mark, true);
    drawGlyph(image, 16, mark, false);
    return image;
}

QImage makeNoImage() {
    QImage image(120, 90, QImage::Format_RGB32);
    image.fill(qRgb(240, 240, 240));
    QPainter painter(&image);
    painter.setPen(qRgb(192, 192, 192));
    painter.drawRect(0, 0, 119, 89);
    painter.setRenderHint(QPainter::TextAntialiasing);

    QFont title(QStringLiteral("IPAPGothic"));
    title.setPixelSize(16);
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(qRgb(160, 160, 160));
    painter.drawText(QRect(0, 22, 120, 22), Qt::AlignCenter, QStringLiteral("NO IMAGE"));

    QFont text(QStringLiteral("IPAPGothic"));
    text.setPixelSize(12);
    painter.setFont(text);
    painter.setPen(qRgb(96, 96, 96));
    painter.drawText(QRect(0, 48, 120, 18), Qt::AlignCenter, QStringLiteral("画像がありません"));
    return image;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: MakePictures <resources directory>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral("glyphs"))) {
        std::fprintf(stderr, "cannot create %s/glyphs\n", argv[1]);
        return 1;
    }
    if (QFontInfo(QFont(QStringLiteral("IPAPGothic"))).family() != QStringLiteral("IPAPGothic")) {
        std::fprintf(stderr, "the IPAPGothic font (fonts-ipafont-gothic) is not installed\n");
        return 1;
    }

    const QVector<QRgb> palette = makePalette();
    bool ok =
        writeBmp8(out.filePath(QStringLiteral("CHECKBOX.bmp")), toIndexed(makeStrip(), palette));
    const std::pair<Mark, const char*> glyphs[] = {{Mark::First, "glyphs/first.bmp"},
                                                   {Mark::Previous, "glyphs/prev.bmp"},
                                                   {Mark::Next, "glyphs/next.bmp"},
                                                   {Mark::Last, "glyphs/last.bmp"}};
    for (const auto& [mark, name] : glyphs)
        ok = writeBmp8(out.filePath(QString::fromLatin1(name)),
                       toIndexed(makeGlyph(mark), palette)) &&
             ok;
    ok = makeNoImage().save(out.filePath(QStringLiteral("no_image.jpg")), "JPG", 90) && ok;
    if (!ok) {
        std::fprintf(stderr, "cannot write the pictures into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
