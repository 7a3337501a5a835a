// Plain geometry values shared by the core and the backends.
//
// Coordinates are the desktop's root coordinates in logical pixels: origin at the top-left of the
// virtual screen, y growing downwards. Every frame the core handles (screens, pointer, window
// frames, the remembered frame text) uses this one system, so the layout arithmetic never converts.
#pragma once

namespace plenhall {

struct Point {
    double x = 0;
    double y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    double width = 0;
    double height = 0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double minX() const { return x; }
    double minY() const { return y; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    double midX() const { return x + width / 2; }
    double midY() const { return y + height / 2; }

    // Half-open containment, so a point on the border between two screens belongs to one only.
    bool contains(Point p) const {
        return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
    }

    // True when the two rectangles share an area of non-zero size; any non-number fails.
    bool intersects(const Rect& o) const {
        return width > 0 && height > 0 && o.width > 0 && o.height > 0 && minX() < o.maxX() &&
               o.minX() < maxX() && minY() < o.maxY() && o.minY() < maxY();
    }

    bool operator==(const Rect&) const = default;
};

}  // namespace plenhall
