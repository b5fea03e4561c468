// Draws the program's icons and the meter picture as PNG files (resources/icons/<kind>-<id>.png).
// Everything is drawn pixel by pixel on wxImage with 4x4 supersampling, so no display is needed.
// Usage: make-icons [output folder]   (default: resources/icons)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <wx/image.h>
#include <wx/init.h>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Rgba {
    double r, g, b, a;
};

Rgba Hex(unsigned rgb, double a = 1.0)
{
    return {((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0, a};
}

Rgba Mix(const Rgba& p, const Rgba& q, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    return {p.r + (q.r - p.r) * t, p.g + (q.g - p.g) * t, p.b + (q.b - p.b) * t, p.a + (q.a - p.a) * t};
}

struct Pt {
    double x, y;
};

using Shape = std::function<bool(double, double)>;
using Paint = std::function<Rgba(double, double)>;

Paint Solid(Rgba c)
{
    return [c](double, double) { return c; };
}

// A top-to-bottom gradient between y0 and y1.
Paint VGrad(Rgba top, Rgba bottom, double y0, double y1)
{
    return [=](double, double y) { return Mix(top, bottom, (y - y0) / (y1 - y0)); };
}

// A gradient from the upper left to the lower right of a box.
Paint DGrad(Rgba from, Rgba to, double x0, double y0, double x1, double y1)
{
    return [=](double x, double y) {
        const double t = ((x - x0) + (y - y0)) / ((x1 - x0) + (y1 - y0));
        return Mix(from, to, t);
    };
}

// --- shapes (coordinates in pixels; pixel i covers [i, i+1)) ---

Shape Rect(double x0, double y0, double x1, double y1)
{
    return [=](double x, double y) { return x >= x0 && x < x1 && y >= y0 && y < y1; };
}

Shape RoundRect(double x0, double y0, double x1, double y1, double r)
{
    return [=](double x, double y) {
        if (x < x0 || x >= x1 || y < y0 || y >= y1) return false;
        const double cx = std::clamp(x, x0 + r, x1 - r);
        const double cy = std::clamp(y, y0 + r, y1 - r);
        return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
    };
}

Shape Circle(double cx, double cy, double r)
{
    return [=](double x, double y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r; };
}

double SegmentDistance(double x, double y, Pt a, Pt b)
{
    const double vx = b.x - a.x;
    const double vy = b.y - a.y;
    const double len2 = vx * vx + vy * vy;
    double t = len2 > 0 ? ((x - a.x) * vx + (y - a.y) * vy) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const double dx = x - (a.x + t * vx);
    const double dy = y - (a.y + t * vy);
    return std::sqrt(dx * dx + dy * dy);
}

// A line of the given width with round ends.
Shape Line(Pt a, Pt b, double width)
{
    return [=](double x, double y) { return SegmentDistance(x, y, a, b) <= width / 2; };
}

// A polyline with round joins.
Shape Polyline(std::vector<Pt> pts, double width)
{
    return [pts = std::move(pts), width](double x, double y) {
        for (std::size_t i = 1; i < pts.size(); ++i) {
            if (SegmentDistance(x, y, pts[i - 1], pts[i]) <= width / 2) return true;
        }
        return false;
    };
}

Shape Polygon(std::vector<Pt> pts)
{
    return [pts = std::move(pts)](double x, double y) {
        bool in = false;
        for (std::size_t i = 0, j = pts.size() - 1; i < pts.size(); j = i++) {
            if ((pts[i].y > y) != (pts[j].y > y) &&
                x < (pts[j].x - pts[i].x) * (y - pts[i].y) / (pts[j].y - pts[i].y) + pts[i].x) {
                in = !in;
            }
        }
        return in;
    };
}

// Angle of (x, y) around (cx, cy) in degrees, 0 to the right, growing counter-clockwise on screen.
double AngleDeg(double x, double y, double cx, double cy)
{
    double a = std::atan2(cy - y, x - cx) * 180.0 / kPi;
    if (a < 0) a += 360.0;
    return a;
}

bool AngleBetween(double a, double from, double to)
{
    // from -> to counter-clockwise
    const double span = std::fmod(to - from + 720.0, 360.0);
    const double off = std::fmod(a - from + 720.0, 360.0);
    return off <= span;
}

// A ring segment of radius r and width w between two angles (counter-clockwise from -> to).
Shape Arc(double cx, double cy, double r, double w, double from, double to)
{
    return [=](double x, double y) {
        const double d = std::hypot(x - cx, y - cy);
        if (std::fabs(d - r) > w / 2) return false;
        return AngleBetween(AngleDeg(x, y, cx, cy), from, to);
    };
}

Shape Pie(double cx, double cy, double r, double from, double to)
{
    return [=](double x, double y) {
        if (std::hypot(x - cx, y - cy) > r) return false;
        return AngleBetween(AngleDeg(x, y, cx, cy), from, to);
    };
}

Shape Minus(Shape a, Shape b)
{
    return [=](double x, double y) { return a(x, y) && !b(x, y); };
}

Shape Union(std::vector<Shape> parts)
{
    return [parts = std::move(parts)](double x, double y) {
        for (const auto& p : parts) {
            if (p(x, y)) return true;
        }
        return false;
    };
}

Pt Polar(double cx, double cy, double r, double deg)
{
    return {cx + r * std::cos(deg * kPi / 180.0), cy - r * std::sin(deg * kPi / 180.0)};
}

// --- the canvas ---

class Canvas {
public:
    Canvas(int w, int h) : w_(w), h_(h), px_(static_cast<std::size_t>(w * h), Rgba{0, 0, 0, 0}) {}

    void Fill(const Shape& shape, const Paint& paint, double opacity = 1.0)
    {
        constexpr int kSub = 4;
        for (int y = 0; y < h_; ++y) {
            for (int x = 0; x < w_; ++x) {
                int hits = 0;
                double sr = 0, sg = 0, sb = 0, sa = 0;
                for (int j = 0; j < kSub; ++j) {
                    for (int i = 0; i < kSub; ++i) {
                        const double fx = x + (i + 0.5) / kSub;
                        const double fy = y + (j + 0.5) / kSub;
                        if (!shape(fx, fy)) continue;
                        const Rgba c = paint(fx, fy);
                        ++hits;
                        sr += c.r * c.a;
                        sg += c.g * c.a;
                        sb += c.b * c.a;
                        sa += c.a;
                    }
                }
                if (hits == 0) continue;
                const double cover = static_cast<double>(hits) / (kSub * kSub);
                const double a = sa / hits;
                if (a <= 0) continue;
                Over(x, y, {sr / sa, sg / sa, sb / sa, a * cover * opacity});
            }
        }
    }

    void Fill(const Shape& shape, Rgba c) { Fill(shape, Solid(c)); }

    bool Save(const std::string& path) const
    {
        wxImage img(w_, h_, false);
        img.InitAlpha();
        for (int y = 0; y < h_; ++y) {
            for (int x = 0; x < w_; ++x) {
                const Rgba& p = px_[static_cast<std::size_t>(y * w_ + x)];
                const auto to8 = [](double v) {
                    return static_cast<unsigned char>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
                };
                img.SetRGB(x, y, to8(p.r), to8(p.g), to8(p.b));
                img.SetAlpha(x, y, to8(p.a));
            }
        }
        return img.SaveFile(wxString::FromUTF8(path), wxBITMAP_TYPE_PNG);
    }

private:
    void Over(int x, int y, Rgba s)
    {
        Rgba& d = px_[static_cast<std::size_t>(y * w_ + x)];
        const double oa = s.a + d.a * (1 - s.a);
        if (oa <= 0) return;
        d.r = (s.r * s.a + d.r * d.a * (1 - s.a)) / oa;
        d.g = (s.g * s.a + d.g * d.a * (1 - s.a)) / oa;
        d.b = (s.b * s.a + d.b * d.a * (1 - s.a)) / oa;
        d.a = oa;
    }

    int w_, h_;
    std::vector<Rgba> px_;
};

// --- shared pieces ---

const Rgba kOutline = Hex(0x2B2F36);
const Rgba kWhite = Hex(0xFFFFFF);
const Rgba kGreen = Hex(0x2EA043);
const Rgba kGreenLight = Hex(0x6FD67F);
const Rgba kRed = Hex(0xD1242F);
const Rgba kRedLight = Hex(0xF26D6D);
const Rgba kBlue = Hex(0x1F6FEB);
const Rgba kBlueLight = Hex(0x6CB6FF);
const Rgba kFiber = Hex(0xF2C200);  // yellow single-mode fibre jacket
const Rgba kLcd = Hex(0xB8D88B);
const Rgba kLcdDark = Hex(0x24351A);

// A rounded box with a dark outline and a gradient face.
void Panel(Canvas& c, double x0, double y0, double x1, double y1, double r, Rgba top, Rgba bottom,
           Rgba outline = kOutline, double border = 1.0)
{
    c.Fill(RoundRect(x0, y0, x1, y1, r), outline);
    c.Fill(RoundRect(x0 + border, y0 + border, x1 - border, y1 - border, std::max(0.0, r - border)),
           VGrad(top, bottom, y0, y1));
}

// A round badge in the lower right corner with a white symbol.
void Badge(Canvas& c, double cx, double cy, double r, Rgba light, Rgba dark)
{
    c.Fill(Circle(cx, cy, r + 1), kWhite);
    c.Fill(Circle(cx, cy, r), DGrad(light, dark, cx - r, cy - r, cx + r, cy + r));
}

void CheckBadge(Canvas& c, double cx, double cy, double r)
{
    Badge(c, cx, cy, r, kGreenLight, kGreen);
    c.Fill(Polyline({{cx - r * 0.5, cy + 0.05 * r}, {cx - r * 0.1, cy + r * 0.45}, {cx + r * 0.55, cy - r * 0.4}},
                    r * 0.38),
           kWhite);
}

void CrossBadge(Canvas& c, double cx, double cy, double r)
{
    Badge(c, cx, cy, r, kRedLight, kRed);
    const double k = r * 0.42;
    c.Fill(Line({cx - k, cy - k}, {cx + k, cy + k}, r * 0.36), kWhite);
    c.Fill(Line({cx - k, cy + k}, {cx + k, cy - k}, r * 0.36), kWhite);
}

// Seven-segment digit in a box (x, y, w, h), segment thickness t; segs: bits a..g = 0..6.
void SevenSeg(Canvas& c, double x, double y, double w, double h, double t, unsigned segs, Rgba on)
{
    const double g = t * 0.25;  // gap between segments
    const double m = y + h / 2;
    const auto hseg = [&](double yy) {
        return Polygon({{x + g, yy},
                        {x + t / 2 + g, yy - t / 2},
                        {x + w - t / 2 - g, yy - t / 2},
                        {x + w - g, yy},
                        {x + w - t / 2 - g, yy + t / 2},
                        {x + t / 2 + g, yy + t / 2}});
    };
    const auto vseg = [&](double xx, double ya, double yb) {
        return Polygon({{xx, ya + g},
                        {xx + t / 2, ya + t / 2 + g},
                        {xx + t / 2, yb - t / 2 - g},
                        {xx, yb - g},
                        {xx - t / 2, yb - t / 2 - g},
                        {xx - t / 2, ya + t / 2 + g}});
    };
    const double top = y + t / 2;
    const double bot = y + h - t / 2;
    const double left = x + t / 2;
    const double right = x + w - t / 2;
    if (segs & 1) c.Fill(hseg(top), on);            // a
    if (segs & 2) c.Fill(vseg(right, top, m), on);  // b
    if (segs & 4) c.Fill(vseg(right, m, bot), on);  // c
    if (segs & 8) c.Fill(hseg(bot), on);            // d
    if (segs & 16) c.Fill(vseg(left, m, bot), on);  // e
    if (segs & 32) c.Fill(vseg(left, top, m), on);  // f
    if (segs & 64) c.Fill(hseg(m), on);             // g
}

unsigned DigitSegments(char d)
{
    static const unsigned kSegs[] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    if (d >= '0' && d <= '9') return kSegs[d - '0'];
    if (d == '-') return 0x40;
    return 0;
}

// A tiny pixel font for the unit on the meter's display; each glyph is rows of '#'.
void PixelText(Canvas& c, double x, double y, double scale, const std::string& text, Rgba color)
{
    struct Glyph {
        char ch;
        std::vector<const char*> rows;
    };
    static const std::vector<Glyph> kGlyphs = {
        {'d', {"..#", "..#", "###", "#.#", "###"}},           {'B', {"##.", "#.#", "##.", "#.#", "##."}},
        {'m', {".....", ".....", "####.", "#.#.#", "#.#.#"}}, {'1', {".#", "##", ".#", ".#", ".#"}},
        {'3', {"###", "..#", ".##", "..#", "###"}},           {'0', {"###", "#.#", "#.#", "#.#", "###"}},
    };
    for (char ch : text) {
        if (ch == ' ') {
            x += 2 * scale;
            continue;
        }
        const auto g = std::find_if(kGlyphs.begin(), kGlyphs.end(), [&](const Glyph& gl) { return gl.ch == ch; });
        if (g == kGlyphs.end()) continue;
        const std::size_t width = std::string(g->rows[0]).size();
        for (std::size_t r = 0; r < g->rows.size(); ++r) {
            for (std::size_t k = 0; k < width; ++k) {
                if (g->rows[r][k] != '#') continue;
                c.Fill(Rect(x + k * scale, y + r * scale, x + (k + 1) * scale, y + (r + 1) * scale), color);
            }
        }
        x += (width + 1) * scale;
    }
}

// A small handheld meter: body, display with a reading, keys, a fibre port on top.
void SmallMeter(Canvas& c, double x0, double y0, double x1, double y1, bool lit)
{
    const double w = x1 - x0;
    const double h = y1 - y0;
    // connector on top
    c.Fill(RoundRect(x0 + w * 0.38, y0 - 3, x0 + w * 0.62, y0 + 1, 1), kOutline);
    c.Fill(Rect(x0 + w * 0.38 + 1, y0 - 2, x0 + w * 0.62 - 1, y0 + 1), VGrad(Hex(0xD8DCE0), Hex(0x8A9096), y0 - 2, y0));
    // rubber boot and face
    Panel(c, x0, y0, x1, y1, 3, lit ? Hex(0xFFB347) : Hex(0xB5B5B5), lit ? Hex(0xE07B00) : Hex(0x7E7E7E));
    Panel(c, x0 + 2, y0 + 2, x1 - 2, y1 - 2, 2, Hex(0x4A5461), Hex(0x2E343C), Hex(0x1E2329));
    // display
    const double dx0 = x0 + 3.5;
    const double dx1 = x1 - 3.5;
    const double dy0 = y0 + 3.5;
    const double dy1 = y0 + h * 0.5;
    c.Fill(Rect(dx0, dy0, dx1, dy1), lit ? VGrad(Hex(0xCDEBA4), Hex(0x9CC46A), dy0, dy1) : Solid(Hex(0x7D8A70)));
    if (lit) {
        // a reading and a level bar
        const double lw = dx1 - dx0;
        c.Fill(Rect(dx0 + 1, dy0 + 1.5, dx0 + lw * 0.75, dy0 + 3), kLcdDark);
        c.Fill(Rect(dx0 + 1, dy1 - 3, dx0 + lw * 0.5, dy1 - 1.5), kLcdDark);
    }
    // keys
    const double ky = y0 + h * 0.72;
    for (int i = 0; i < 3; ++i) {
        const double kx = x0 + w * (0.28 + 0.22 * i);
        c.Fill(Circle(kx, ky, 1.3), i == 1 ? Hex(0x3FB950) : Hex(0xAEB6BF));
    }
}

// --- the icons ---

void IconApplication(Canvas& c)
{
    // fibre leaving the port on top and running down the right side
    const std::vector<Pt> fibre = {{16, 2.5}, {18.5, 1.4}, {26, 1.4}, {29, 3.5}, {30, 8}, {30, 16}};
    c.Fill(Polyline(fibre, 2.4), kOutline);
    c.Fill(Polyline(fibre, 1.3), kFiber);
    // body
    const double x0 = 6, y0 = 5, x1 = 26, y1 = 31;
    c.Fill(RoundRect(x0 + 7, y0 - 3, x1 - 7, y0 + 1, 1), kOutline);
    c.Fill(Rect(x0 + 8, y0 - 2, x1 - 8, y0 + 1), VGrad(Hex(0xE6E9EC), Hex(0x8A9096), y0 - 2, y0 + 1));
    Panel(c, x0, y0, x1, y1, 4, Hex(0xFFC15A), Hex(0xE07B00));
    Panel(c, x0 + 2, y0 + 2, x1 - 2, y1 - 2, 2.5, Hex(0x505B69), Hex(0x2C323A), Hex(0x1E2329));
    // display with a reading "-13"
    c.Fill(RoundRect(9.5, 9.5, 22.5, 18.5, 1), kOutline);
    c.Fill(Rect(10, 10, 22, 18), VGrad(Hex(0xD4F0AC), Hex(0x98C266), 10, 18));
    c.Fill(Rect(11, 13.6, 12.8, 14.6), kLcdDark);
    SevenSeg(c, 13.3, 11, 3.6, 6, 1.0, DigitSegments('1'), kLcdDark);
    SevenSeg(c, 17.4, 11, 3.6, 6, 1.0, DigitSegments('3'), kLcdDark);
    // keys
    c.Fill(RoundRect(10, 21, 15, 24, 1), Hex(0x3FB950));
    c.Fill(RoundRect(17, 21, 22, 24, 1), Hex(0xAEB6BF));
    c.Fill(RoundRect(10, 25.5, 15, 28, 1), Hex(0xAEB6BF));
    c.Fill(RoundRect(17, 25.5, 22, 28, 1), Hex(0xE5534B));
}

// The front of a 9-pin D-sub connector; grey when the port is closed.
void DSub(Canvas& c, bool active)
{
    const Rgba shellTop = active ? Hex(0xDDE3E8) : Hex(0xC9C9C9);
    const Rgba shellBottom = active ? Hex(0x8D98A3) : Hex(0x8A8A8A);
    // mounting flange with screws
    c.Fill(RoundRect(1, 8, 31, 22, 3), kOutline);
    c.Fill(RoundRect(2, 9, 30, 21, 2), VGrad(shellTop, shellBottom, 9, 21));
    for (double sx : {4.5, 27.5}) {
        c.Fill(Circle(sx, 15, 2), kOutline);
        c.Fill(Circle(sx, 15, 1.2), Hex(0xF0F0F0));
    }
    // the trapezoid shell and the insulator
    c.Fill(Polygon({{7.5, 9.5}, {24.5, 9.5}, {22.5, 20.5}, {9.5, 20.5}}), kOutline);
    const Rgba insTop = active ? Hex(0x2F6FD0) : Hex(0x6E6E6E);
    const Rgba insBottom = active ? Hex(0x174A98) : Hex(0x4D4D4D);
    c.Fill(Polygon({{8.8, 10.6}, {23.2, 10.6}, {21.5, 19.4}, {10.5, 19.4}}), VGrad(insTop, insBottom, 10.6, 19.4));
    const Rgba pin = active ? Hex(0xFFD33D) : Hex(0xBDBDBD);
    for (int i = 0; i < 5; ++i) c.Fill(Circle(11 + 2.5 * i, 13.2, 0.95), pin);
    for (int i = 0; i < 4; ++i) c.Fill(Circle(12.25 + 2.5 * i, 16.8, 0.95), pin);
}

void IconPortOpen(Canvas& c)
{
    DSub(c, true);
    CheckBadge(c, 25, 25.5, 5.5);
}

void IconPortClosed(Canvas& c)
{
    DSub(c, false);
    CrossBadge(c, 25, 25.5, 5.5);
}

void IconMeterOn(Canvas& c)
{
    SmallMeter(c, 3, 6, 19, 31, true);
    // signal waves to the right of the meter
    for (int i = 0; i < 3; ++i) {
        c.Fill(Arc(18, 11, 4.0 + 3.2 * i, 1.5, -45, 45), kGreen);
    }
    CheckBadge(c, 25.5, 25.5, 5.5);
}

void IconMeterOff(Canvas& c)
{
    SmallMeter(c, 3, 6, 19, 31, false);
    CrossBadge(c, 25.5, 25.5, 5.5);
}

void IconSavePrint(Canvas& c)
{
    // paper going in at the top
    c.Fill(Rect(8, 2, 24, 12), kOutline);
    c.Fill(Rect(9, 3, 23, 12), kWhite);
    // printer body
    Panel(c, 2, 10, 30, 24, 3, Hex(0xE3E7EB), Hex(0x9AA4AE));
    c.Fill(Rect(6, 13, 26, 14.2), Hex(0x59636E));
    c.Fill(Circle(25.5, 17.5, 1.3), kGreen);
    // printed sheet coming out with lines of a table
    c.Fill(Rect(7, 19, 25, 31), kOutline);
    c.Fill(Rect(8, 19, 24, 30), VGrad(kWhite, Hex(0xEEF2F6), 19, 30));
    for (double y : {22.0, 25.0, 28.0}) c.Fill(Rect(10, y, 22, y + 1), Hex(0x8FA3B8));
    c.Fill(Rect(10, 22, 14, 23), kBlue);
    // a floppy disk badge for "save"
    c.Fill(RoundRect(21, 21, 31.5, 31.5, 1.5), kWhite);
    c.Fill(RoundRect(22, 22, 31, 31, 1), Hex(0x1C4E9C));
    c.Fill(Rect(24, 22, 29, 25.5), Hex(0xDCE6F2));
    c.Fill(Rect(27.3, 22.6, 28.3, 25), Hex(0x1C4E9C));
    c.Fill(Rect(23.5, 27, 29.5, 31), kWhite);
}

void IconTimeSet(Canvas& c)
{
    const double cx = 16, cy = 16.5;
    c.Fill(Circle(cx, cy, 14.5), kOutline);
    c.Fill(Circle(cx, cy, 13.5), DGrad(Hex(0x6CB6FF), Hex(0x1A5CC8), 2, 2, 30, 30));
    c.Fill(Circle(cx, cy, 11.3), VGrad(kWhite, Hex(0xE6ECF2), 5, 28));
    for (int i = 0; i < 12; ++i) {
        const double a = 90 - 30.0 * i;
        const bool major = i % 3 == 0;
        c.Fill(Line(Polar(cx, cy, major ? 8.3 : 9.2, a), Polar(cx, cy, 10.2, a), major ? 1.6 : 1.0), kOutline);
    }
    // ten past ten
    c.Fill(Line({cx, cy}, Polar(cx, cy, 5.5, 150), 2.0), kOutline);
    c.Fill(Line({cx, cy}, Polar(cx, cy, 8.0, 30), 1.4), kOutline);
    c.Fill(Line({cx, cy}, Polar(cx, cy, 8.5, -100), 0.8), kRed);
    c.Fill(Circle(cx, cy, 1.4), kRed);
}

void IconDeleteAll(Canvas& c)
{
    // lid and handle
    c.Fill(RoundRect(12, 2, 20, 6, 1.5), kOutline);
    c.Fill(RoundRect(13.2, 3.2, 18.8, 6, 0.8), Hex(0xF5F5F5));
    c.Fill(RoundRect(4, 5, 28, 9.5, 1.5), kOutline);
    c.Fill(RoundRect(5, 6, 27, 8.5, 1), VGrad(Hex(0xC8D0D8), Hex(0x8C97A3), 6, 8.5));
    // can
    c.Fill(Polygon({{6, 9.5}, {26, 9.5}, {24, 31}, {8, 31}}), kOutline);
    c.Fill(Polygon({{7.2, 10.3}, {24.8, 10.3}, {23, 30}, {9, 30}}),
           [](double x, double) { return Mix(Hex(0xB6C0CA), Hex(0x6D7885), std::fabs(x - 13.0) / 11.0); });
    for (double x : {11.5, 16.0, 20.5}) c.Fill(Line({x, 13}, {x, 27}, 1.6), Hex(0x4B5561));
    // a red cross over everything: all records go
    c.Fill(Line({5, 12}, {27, 28}, 4.6), kWhite);
    c.Fill(Line({27, 12}, {5, 28}, 4.6), kWhite);
    c.Fill(Line({5, 12}, {27, 28}, 3.0), kRed);
    c.Fill(Line({27, 12}, {5, 28}, 3.0), kRed);
}

// A sheet with a folded corner and table lines.
void Sheet(Canvas& c, double x0, double y0, double x1, double y1)
{
    const double f = 6;
    c.Fill(Polygon({{x0, y0}, {x1 - f, y0}, {x1, y0 + f}, {x1, y1}, {x0, y1}}), kOutline);
    c.Fill(
        Polygon({{x0 + 1, y0 + 1}, {x1 - f - 0.4, y0 + 1}, {x1 - 1, y0 + f + 0.4}, {x1 - 1, y1 - 1}, {x0 + 1, y1 - 1}}),
        VGrad(kWhite, Hex(0xE8EEF4), y0, y1));
    c.Fill(Polygon({{x1 - f, y0 + 0.5}, {x1 - f, y0 + f}, {x1 - 0.5, y0 + f}}), Hex(0xB9C6D3));
    for (double y = y0 + 9; y < y1 - 3; y += 4) {
        c.Fill(Rect(x0 + 3, y, x1 - 4, y + 1.2), Hex(0x9AB0C6));
    }
    c.Fill(Rect(x0 + 3, y0 + 9, x0 + 8, y0 + 10.2), kGreen);
}

void IconExport(Canvas& c)
{
    Sheet(c, 3, 2, 21, 30);
    // a green arrow leaving the sheet to the right
    const std::vector<Pt> arrow = {{11, 15}, {21, 15}, {21, 10}, {31, 19}, {21, 28}, {21, 23}, {11, 23}};
    c.Fill(Polygon(arrow), kWhite);
    const std::vector<Pt> inner = {{12.3, 16.3}, {22.3, 16.3}, {22.3, 13},  {29.2, 19},
                                   {22.3, 25},   {22.3, 21.7}, {12.3, 21.7}};
    c.Fill(Polygon(inner), DGrad(kGreenLight, kGreen, 12, 13, 29, 25));
}

void IconExit(Canvas& c)
{
    // door frame and open door
    c.Fill(Rect(3, 2, 19, 31), kOutline);
    c.Fill(Rect(4.2, 3.2, 17.8, 31), Hex(0x20262D));
    c.Fill(Polygon({{4.2, 3.2}, {13.5, 6}, {13.5, 31}, {4.2, 31}}), VGrad(Hex(0xC48A4E), Hex(0x8A5A2B), 3, 31));
    c.Fill(Circle(11.6, 18, 1.1), Hex(0xFFD33D));
    c.Fill(Rect(2, 30, 20, 31.5), kOutline);
    // red arrow pointing out of the door
    const std::vector<Pt> outer = {{12, 13.5}, {21, 13.5}, {21, 9}, {31, 17}, {21, 25}, {21, 20.5}, {12, 20.5}};
    c.Fill(Polygon(outer), kWhite);
    const std::vector<Pt> inner = {{13.2, 14.7}, {22.2, 14.7}, {22.2, 11.6}, {29.1, 17},
                                   {22.2, 22.4}, {22.2, 19.3}, {13.2, 19.3}};
    c.Fill(Polygon(inner), DGrad(kRedLight, kRed, 13, 11, 29, 23));
}

void IconReset(Canvas& c)
{
    const double cx = 16, cy = 16.5, r = 11, w = 3.6;
    const double from = 115, to = 395;  // counter-clockwise; the gap is at the upper right
    // the arrow's head at the end of the arc, pointing on along it
    const auto head = [&](double grow) {
        const Pt inner = Polar(cx, cy, r - w * 1.25 - grow, to);
        const Pt outer = Polar(cx, cy, r + w * 1.25 + grow, to);
        const double t = to * kPi / 180.0;
        const double len = w * 1.9 + grow * 1.6;
        const Pt mid = Polar(cx, cy, r, to);
        const Pt tip = {mid.x - len * std::sin(t), mid.y - len * std::cos(t)};
        return Polygon({inner, outer, tip});
    };
    const Paint orange = DGrad(Hex(0xFFB347), Hex(0xD35400), 4, 4, 28, 28);
    c.Fill(Arc(cx, cy, r, w + 1.8, from - 4, to), kOutline);
    c.Fill(head(0.9), kOutline);
    c.Fill(Arc(cx, cy, r, w, from, to), orange);
    c.Fill(head(0), orange);
    // gear in the middle: the factory settings
    std::vector<Shape> teeth;
    for (int i = 0; i < 8; ++i) {
        const double a = i * 45.0 + 22.5;
        teeth.push_back(Line(Polar(cx, cy, 3.0, a), Polar(cx, cy, 6.0, a), 2.3));
    }
    teeth.push_back(Circle(cx, cy, 4.8));
    c.Fill(Minus(Union(teeth), Circle(cx, cy, 1.8)), Hex(0x59636E));
}

void IconCalibrate(Canvas& c)
{
    const double cx = 16, cy = 21;
    // the dial
    c.Fill(Pie(cx, cy, 15, -12, 192), kOutline);
    c.Fill(Pie(cx, cy, 13.8, -10, 190), VGrad(kWhite, Hex(0xDDE5EC), 6, 22));
    // coloured scale: red low, yellow, green at the calibrated point
    c.Fill(Arc(cx, cy, 11.2, 3, 130, 180), Hex(0xE5534B));
    c.Fill(Arc(cx, cy, 11.2, 3, 75, 130), Hex(0xF2C200));
    c.Fill(Arc(cx, cy, 11.2, 3, 0, 75), kGreen);
    for (int i = 0; i <= 8; ++i) {
        const double a = 180 - 22.5 * i;
        c.Fill(Line(Polar(cx, cy, 7.0, a), Polar(cx, cy, i % 2 ? 8.6 : 9.4, a), 1.0), kOutline);
    }
    // needle
    c.Fill(Line({cx, cy}, Polar(cx, cy, 11.5, 55), 1.8), kRed);
    c.Fill(Circle(cx, cy, 2.6), kOutline);
    c.Fill(Circle(cx, cy, 1.4), Hex(0xAEB6BF));
    // base
    c.Fill(RoundRect(2, 24.5, 30, 30.5, 2), kOutline);
    c.Fill(RoundRect(3, 25.5, 29, 29.5, 1.5), VGrad(Hex(0x6E7A87), Hex(0x3C444D), 25, 30));
}

void IconUpload(Canvas& c)
{
    // records coming from the meter into a tray
    c.Fill(Polygon({{2, 19}, {8, 19}, {10, 23}, {22, 23}, {24, 19}, {30, 19}, {30, 31}, {2, 31}}), kOutline);
    c.Fill(Polygon({{3, 20}, {7.4, 20}, {9.4, 24}, {22.6, 24}, {24.6, 20}, {29, 20}, {29, 30}, {3, 30}}),
           VGrad(Hex(0x9AA4AE), Hex(0x59636E), 20, 30));
    // three data bars inside the tray
    c.Fill(Rect(11, 26, 13, 29), kGreenLight);
    c.Fill(Rect(15, 25, 17, 29), kGreenLight);
    c.Fill(Rect(19, 27, 21, 29), kGreenLight);
    // blue arrow up
    const std::vector<Pt> outer = {{16, 0.5},    {26, 10.5},   {20.5, 10.5}, {20.5, 20.5},
                                   {11.5, 20.5}, {11.5, 10.5}, {6, 10.5}};
    c.Fill(Polygon(outer), kOutline);
    const std::vector<Pt> inner = {{16, 2.3},    {23.6, 9.5}, {19.5, 9.5}, {19.5, 19.5},
                                   {12.5, 19.5}, {12.5, 9.5}, {8.4, 9.5}};
    c.Fill(Polygon(inner), VGrad(kBlueLight, kBlue, 2, 20));
}

// The picture of the meter: a handheld power meter lying on its side, fibre plugged in, showing
// a reading in dBm.
void BitmapMeter(Canvas& c)
{
    // fibre cable from the left into the port
    c.Fill(Polyline({{0, 50}, {6, 46}, {9, 36}, {13, 32}}, 3.4), kOutline);
    c.Fill(Polyline({{0, 50}, {6, 46}, {9, 36}, {13, 32}}, 2.0), kFiber);
    // connector boot and port
    c.Fill(RoundRect(11, 27, 19, 37, 1.5), kOutline);
    c.Fill(RoundRect(12, 28, 18, 36, 1), VGrad(Hex(0x6CB6FF), Hex(0x1F5FBF), 28, 36));
    // body
    Panel(c, 17, 4, 95, 61, 8, Hex(0xFFC15A), Hex(0xD97400), kOutline, 1.2);
    Panel(c, 21, 8, 91, 57, 5, Hex(0x56616F), Hex(0x2A3038), Hex(0x1B1F24), 1.0);
    // display
    c.Fill(RoundRect(25, 11, 87, 34, 2), kOutline);
    c.Fill(Rect(26.5, 12.5, 85.5, 32.5), VGrad(Hex(0xD6F2AE), Hex(0x96C064), 12, 33));
    c.Fill(Rect(26.5, 12.5, 85.5, 14), Hex(0xE9F8D2));
    // "-12.35" and "dBm"
    c.Fill(Rect(29, 21.3, 32.4, 23.1), kLcdDark);
    const std::string reading = "1235";
    double x = 33.5;
    for (std::size_t i = 0; i < reading.size(); ++i) {
        SevenSeg(c, x, 16, 7.0, 13, 1.8, DigitSegments(reading[i]), kLcdDark);
        x += 8.6;
        if (i == 1) {
            c.Fill(Rect(x - 1, 27.2, x + 0.9, 29.1), kLcdDark);
            x += 2.2;
        }
    }
    PixelText(c, 72, 24, 1.0, "dBm", kLcdDark);
    PixelText(c, 73, 15, 1.0, "1310", kLcdDark);
    // keys: power (green), wavelength, reference, hold, light (red)
    const Rgba keyColours[] = {Hex(0x3FB950), Hex(0xC3CBD3), Hex(0xC3CBD3), Hex(0xC3CBD3), Hex(0xE5534B)};
    for (int i = 0; i < 5; ++i) {
        const double kx = 27 + 12.2 * i;
        c.Fill(RoundRect(kx, 39, kx + 9, 45, 2), kOutline);
        c.Fill(RoundRect(kx + 0.8, 39.8, kx + 8.2, 44.2, 1.5),
               VGrad(Mix(keyColours[i], kWhite, 0.35), keyColours[i], 39, 45));
    }
    // speaker grille and a serial port on the right end
    for (int i = 0; i < 4; ++i) c.Fill(Rect(28 + 4 * i, 49, 30 + 4 * i, 54), Hex(0x1B1F24));
    c.Fill(RoundRect(60, 48.5, 86, 54.5, 1.5), Hex(0x1B1F24));
    c.Fill(Circle(82.5, 51.5, 1.5), Hex(0x3FB950));
    c.Fill(RoundRect(92, 24, 96, 40, 1), kOutline);
    c.Fill(Rect(93, 25, 95.2, 39), Hex(0xAEB6BF));
}

struct Output {
    const char* file;
    int w, h;
    void (*draw)(Canvas&);
};

const Output kOutputs[] = {
    {"icon-128.png", 32, 32, IconApplication}, {"icon-130.png", 32, 32, IconPortOpen},
    {"icon-131.png", 32, 32, IconPortClosed},  {"icon-132.png", 32, 32, IconMeterOn},
    {"icon-133.png", 32, 32, IconMeterOff},    {"icon-144.png", 32, 32, IconSavePrint},
    {"icon-145.png", 32, 32, IconTimeSet},     {"icon-146.png", 32, 32, IconDeleteAll},
    {"icon-147.png", 32, 32, IconExport},      {"icon-148.png", 32, 32, IconExit},
    {"icon-150.png", 32, 32, IconReset},       {"icon-151.png", 32, 32, IconCalibrate},
    {"icon-153.png", 32, 32, IconUpload},      {"bitmap-152.png", 96, 64, BitmapMeter},
};

}  // namespace

int main(int argc, char** argv)
{
    wxInitializer init;
    if (!init.IsOk()) {
        std::fprintf(stderr, "make-icons: wx cannot start\n");
        return 1;
    }
    wxImage::AddHandler(new wxPNGHandler);
    const std::string dir = argc > 1 ? argv[1] : "resources/icons";
    int failures = 0;
    for (const Output& o : kOutputs) {
        Canvas canvas(o.w, o.h);
        o.draw(canvas);
        const std::string path = dir + "/" + o.file;
        if (canvas.Save(path)) {
            std::printf("%s\n", path.c_str());
        } else {
            std::fprintf(stderr, "make-icons: cannot write %s\n", path.c_str());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
