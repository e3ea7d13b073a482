#include "service/Thumbnail.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace {

struct Colour {
    float r = 0, g = 0, b = 0;
};

Colour Mix(Colour a, Colour b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Hue in degrees, saturation and value from 0 to 1.
Colour Hsv(float hue, float saturation, float value) {
    hue = std::fmod(hue, 360.0f);
    if (hue < 0)
        hue += 360.0f;
    const float c = value * saturation;
    const float x = c * (1 - std::fabs(std::fmod(hue / 60.0f, 2.0f) - 1));
    const float m = value - c;
    Colour rgb;
    switch (static_cast<int>(hue / 60.0f)) {
    case 0:
        rgb = {c, x, 0};
        break;
    case 1:
        rgb = {x, c, 0};
        break;
    case 2:
        rgb = {0, c, x};
        break;
    case 3:
        rgb = {0, x, c};
        break;
    case 4:
        rgb = {x, 0, c};
        break;
    default:
        rgb = {c, 0, x};
        break;
    }
    return {rgb.r + m, rgb.g + m, rgb.b + m};
}

// A small deterministic generator (splitmix64), so a picture depends on the id alone.
class Random final {
public:
    explicit Random(std::uint64_t seed)
        : m_state(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // From low to high.
    float Uniform(float low, float high) {
        return low + (high - low) * static_cast<float>(Next() >> 40) / static_cast<float>(1 << 24);
    }

private:
    std::uint64_t m_state;
};

float Coverage(float signedDistance) {
    return std::clamp(0.5f - signedDistance, 0.0f, 1.0f);
}

struct Circle {
    float x, y, radius;
    Colour colour;
    float alpha;
};

// Everything in units of the picture's height, so a large picture shows the same scene.
struct Scene {
    Colour top, bottom;
    std::vector<Circle> circles;
    Colour hill;
    float hillBase, hillAmplitude, hillFrequency, hillPhase;
    Colour farHill;
    float farBase, farAmplitude, farFrequency, farPhase;
};

Scene MakeScene(int id, float aspect) {
    Random random(static_cast<std::uint64_t>(id) * 0x2545F4914F6CDD1Dull + 7);
    Scene s;
    const float hue = random.Uniform(0, 360);
    const float shift = random.Uniform(25, 70);
    s.top = Hsv(hue, random.Uniform(0.35f, 0.6f), 0.97f);
    s.bottom = Hsv(hue + shift, random.Uniform(0.55f, 0.8f), random.Uniform(0.5f, 0.7f));
    const int circles = 3 + static_cast<int>(random.Next() % 4);
    for (int i = 0; i < circles; ++i) {
        s.circles.push_back(
            {random.Uniform(0, aspect), random.Uniform(0, 0.7f), random.Uniform(0.06f, 0.3f),
             Hsv(hue + 180 + random.Uniform(-40, 40), 0.35f, 1.0f), random.Uniform(0.2f, 0.45f)});
    }
    s.farHill = Hsv(hue + shift + 20, 0.45f, 0.6f);
    s.farBase = random.Uniform(0.62f, 0.72f);
    s.farAmplitude = random.Uniform(0.03f, 0.07f);
    s.farFrequency = random.Uniform(4, 9);
    s.farPhase = random.Uniform(0, 6.3f);
    s.hill = Hsv(hue + shift + 40, 0.6f, 0.38f);
    s.hillBase = random.Uniform(0.78f, 0.86f);
    s.hillAmplitude = random.Uniform(0.02f, 0.06f);
    s.hillFrequency = random.Uniform(2, 6);
    s.hillPhase = random.Uniform(0, 6.3f);
    return s;
}

struct Point {
    float x, y;
};

// Signed distance (negative inside) of a point to a convex polygon, approximated by the largest
// distance to the lines of its edges: exact along the edges, which is what the edge blending needs.
float ConvexDistance(const std::array<Point, 3>& corners, float x, float y) {
    float area = 0;
    for (std::size_t i = 0; i < corners.size(); ++i) {
        const Point& p = corners[i];
        const Point& q = corners[(i + 1) % corners.size()];
        area += p.x * q.y - q.x * p.y;
    }
    const float orientation = area > 0 ? 1.0f : -1.0f;
    float distance = -1e9f;
    for (std::size_t i = 0; i < corners.size(); ++i) {
        const Point& p = corners[i];
        const Point& q = corners[(i + 1) % corners.size()];
        const float ex = q.x - p.x, ey = q.y - p.y;
        const float length = std::hypot(ex, ey);
        // The right-hand normal points outwards for a counter-clockwise polygon.
        const float outward = ((x - p.x) * ey - (y - p.y) * ex) / length * orientation;
        distance = std::max(distance, outward);
    }
    return distance;
}

Colour Shade(const Scene& s, float x, float y, float pixel, float aspect) {
    Colour c = Mix(s.top, s.bottom, std::clamp((x / aspect + y) / 2, 0.0f, 1.0f));
    for (const Circle& circle : s.circles) {
        const float d = std::hypot(x - circle.x, y - circle.y) - circle.radius;
        c = Mix(c, circle.colour, circle.alpha * Coverage(d / pixel));
    }
    const float far = s.farBase + s.farAmplitude * std::sin(s.farFrequency * x + s.farPhase);
    c = Mix(c, s.farHill, Coverage((far - y) / pixel));
    const float near = s.hillBase + s.hillAmplitude * std::sin(s.hillFrequency * x + s.hillPhase);
    c = Mix(c, s.hill, Coverage((near - y) / pixel));

    // The play badge: a dark disc with a white triangle pointing right.
    const float cx = aspect / 2, cy = 0.46f, radius = 0.17f;
    const float disc = std::hypot(x - cx, y - cy) - radius;
    c = Mix(c, Colour{0.08f, 0.08f, 0.1f}, 0.5f * Coverage(disc / pixel));
    c = Mix(c, Colour{1, 1, 1}, 0.9f * Coverage((std::fabs(disc) - 0.008f) / pixel));
    const float size = radius * 0.62f;
    const float triangle = ConvexDistance({{{cx - 0.4f * size, cy - 0.7f * size},
                                            {cx + 0.8f * size, cy},
                                            {cx - 0.4f * size, cy + 0.7f * size}}},
                                          x, y);
    c = Mix(c, Colour{1, 1, 1}, 0.95f * Coverage(triangle / pixel));
    return c;
}

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void OnJpegError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

// Plain C data only between setjmp and longjmp: no destructor is skipped.
bool Encode(const unsigned char* pixels, int width, int height, unsigned char** out,
            unsigned long* size) {
    jpeg_compress_struct info;
    ErrorManager error;
    info.err = jpeg_std_error(&error.base);
    error.base.error_exit = OnJpegError;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, out, size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 88, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<unsigned char*>(pixels) +
                       static_cast<std::size_t>(info.next_scanline) * width * 3;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

} // namespace

std::string RenderThumbnail(int id, int width, int height) {
    if (width < 1 || height < 1 || width > 4096 || height > 4096)
        throw ThumbnailError("unsupported picture size");
    const float aspect = static_cast<float>(width) / static_cast<float>(height);
    const float pixel = 1.0f / static_cast<float>(height);
    const Scene scene = MakeScene(id, aspect);
    std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 3);
    const auto channel = [](float v) {
        return static_cast<unsigned char>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
    };
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            const Colour c = Shade(scene, (static_cast<float>(column) + 0.5f) * pixel,
                                   (static_cast<float>(row) + 0.5f) * pixel, pixel, aspect);
            unsigned char* p = &pixels[(static_cast<std::size_t>(row) * width + column) * 3];
            p[0] = channel(c.r);
            p[1] = channel(c.g);
            p[2] = channel(c.b);
        }
    }
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool ok = Encode(pixels.data(), width, height, &buffer, &size);
    std::string jpeg;
    if (ok)
        jpeg.assign(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    if (!ok)
        throw ThumbnailError("the JPEG encoder failed");
    return jpeg;
}
