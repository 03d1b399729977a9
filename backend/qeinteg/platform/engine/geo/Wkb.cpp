#include "qeinteg/platform/engine/geo/Wkb.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace qelocal::geo {

static_assert(std::endian::native == std::endian::little,
              "geometry values are little-endian WKB and are read in place");

namespace {

constexpr uint32_t kPoint = 1;
constexpr uint32_t kLineString = 2;
constexpr uint32_t kPolygon = 3;
constexpr uint32_t kMultiPoint = 4;
constexpr uint32_t kMultiLineString = 5;
constexpr uint32_t kMultiPolygon = 6;
constexpr uint32_t kCollection = 7;
// Deeper nesting than any real geometry: a bound against hostile values.
constexpr int kMaxDepth = 32;

const char* BaseName(uint32_t base) {
    switch (base) {
        case kPoint:
            return "Point";
        case kLineString:
            return "LineString";
        case kPolygon:
            return "Polygon";
        case kMultiPoint:
            return "MultiPoint";
        case kMultiLineString:
            return "MultiLineString";
        case kMultiPolygon:
            return "MultiPolygon";
        case kCollection:
            return "GeometryCollection";
        default:
            return "";
    }
}

struct Header {
    uint32_t base = 0;
    bool z = false;
    bool m = false;
    int dims() const { return 2 + (z ? 1 : 0) + (m ? 1 : 0); }
};

// A bounds-checked cursor over the bytes of one value.
class Cursor {
  public:
    explicit Cursor(std::string_view bytes) : bytes_(bytes) {}
    size_t pos() const { return pos_; }
    bool atEnd() const { return pos_ == bytes_.size(); }
    bool u32(uint32_t& v) {
        if (bytes_.size() - pos_ < 4)
            return false;
        std::memcpy(&v, bytes_.data() + pos_, 4);
        pos_ += 4;
        return true;
    }
    bool header(Header& h) {
        if (pos_ >= bytes_.size() || bytes_[pos_] != 1)  // little-endian only
            return false;
        ++pos_;
        uint32_t type = 0;
        if (!u32(type))
            return false;
        // ISO codes (1000 Z, 2000 M, 3000 ZM) and the EWKB flags some writers use.
        h.z = (type & 0x80000000u) != 0;
        h.m = (type & 0x40000000u) != 0;
        type &= 0x0FFFFFFFu;
        const uint32_t family = type / 1000;
        h.base = type % 1000;
        if (family > 3 || h.base < kPoint || h.base > kCollection)
            return false;
        h.z = h.z || family == 1 || family == 3;
        h.m = h.m || family == 2 || family == 3;
        return true;
    }
    // Skips `n` tuples of `dims` doubles, reporting each offset.
    template <class F>
    bool tuples(uint32_t n, int dims, F&& each) {
        const size_t size = static_cast<size_t>(dims) * 8;
        if (n > (bytes_.size() - pos_) / size)
            return false;
        for (uint32_t i = 0; i < n; ++i) {
            each(pos_);
            pos_ += size;
        }
        return true;
    }
    double number(size_t offset) const {
        double v = 0;
        std::memcpy(&v, bytes_.data() + offset, 8);
        return v;
    }

  private:
    std::string_view bytes_;
    size_t pos_ = 0;
};

// Walks one geometry. `onGeometry(header)` before its content, `onRing(kind)` around lists of
// tuples (0 opens, 1 closes), `onTuple(offset, dims)` per tuple, `onList(open)` around member
// lists of multi geometries, polygons and collections.
template <class Visitor>
bool Walk(Cursor& c, Visitor& v, int depth, const Header* parent) {
    if (depth > kMaxDepth)
        return false;
    Header h;
    if (!c.header(h))
        return false;
    if (parent != nullptr && (h.z != parent->z || h.m != parent->m))
        return false;  // members with other dimensions than their collection
    if (parent != nullptr && parent->base >= kMultiPoint && parent->base <= kMultiPolygon &&
        h.base != parent->base - 3)
        return false;  // a multi geometry holds only its own kind of member
    v.begin(h);
    const int dims = h.dims();
    uint32_t n = 0;
    switch (h.base) {
        case kPoint:
            if (!c.tuples(1, dims, [&](size_t o) { v.tuple(o, h); }))
                return false;
            break;
        case kLineString:
            if (!c.u32(n) || !c.tuples(n, dims, [&](size_t o) { v.tuple(o, h); }))
                return false;
            break;
        case kPolygon:
            if (!c.u32(n))
                return false;
            for (uint32_t r = 0; r < n; ++r) {
                uint32_t points = 0;
                if (!c.u32(points))
                    return false;
                v.openList(r);
                if (!c.tuples(points, dims, [&](size_t o) { v.tuple(o, h); }))
                    return false;
                v.closeList();
            }
            break;
        default:
            if (!c.u32(n))
                return false;
            for (uint32_t i = 0; i < n; ++i) {
                v.openMember(i);
                if (!Walk(c, v, depth + 1, &h))
                    return false;
            }
            break;
    }
    v.end(h);
    return true;
}

struct LayoutVisitor {
    WkbLayout& layout;
    bool first = true;
    void begin(const Header& h) {
        if (first) {
            layout.hasZ = h.z;
            layout.hasM = h.m;
            first = false;
        }
    }
    void end(const Header&) {}
    void tuple(size_t offset, const Header&) { layout.offsets.push_back(offset); }
    void openList(uint32_t) {}
    void closeList() {}
    void openMember(uint32_t) {}
};

// Writes GeoJSON while walking. Members of multi geometries are written as their coordinate
// arrays; members of collections as whole geometry objects.
struct GeoJsonVisitor {
    const Cursor& cursor;
    std::string& out;
    std::vector<uint32_t> parents;  // base types of the enclosing geometries
    std::vector<bool> firstTuple;   // per open coordinate list: nothing written yet

    bool insideMulti() const {
        return !parents.empty() && parents.back() >= kMultiPoint && parents.back() <= kMultiPolygon;
    }
    void begin(const Header& h) {
        if (!insideMulti()) {
            out += "{\"type\":\"";
            out += BaseName(h.base);
            out += h.base == kCollection ? "\",\"geometries\":[" : "\",\"coordinates\":";
        }
        if (h.base == kLineString || h.base == kPolygon || h.base == kMultiPoint ||
            h.base == kMultiLineString || h.base == kMultiPolygon)
            out += '[';
        parents.push_back(h.base);
        firstTuple.push_back(true);
    }
    void end(const Header& h) {
        parents.pop_back();
        firstTuple.pop_back();
        if (h.base != kPoint)
            out += ']';
        if (!insideMulti())
            out += '}';
    }
    void tuple(size_t offset, const Header& h) {
        if (h.base != kPoint) {
            if (!firstTuple.back())
                out += ',';
            firstTuple.back() = false;
        }
        out += '[';
        AppendNumber(out, cursor.number(offset));
        out += ',';
        AppendNumber(out, cursor.number(offset + 8));
        if (h.z) {
            out += ',';
            AppendNumber(out, cursor.number(offset + 16));
        }
        out += ']';
    }
    void openList(uint32_t index) {
        if (index > 0)
            out += ',';
        out += '[';
        firstTuple.push_back(true);
    }
    void closeList() {
        firstTuple.pop_back();
        out += ']';
    }
    void openMember(uint32_t index) {
        if (index > 0)
            out += ',';
    }
};

}  // namespace

void AppendNumber(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";  // JSON has no infinities
        return;
    }
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

bool Wkb::Layout(std::string_view wkb, WkbLayout& layout) {
    layout.offsets.clear();
    Cursor c(wkb);
    LayoutVisitor v{layout};
    return Walk(c, v, 0, nullptr) && c.atEnd();
}

std::string Wkb::TypeName(std::string_view wkb) {
    Cursor c(wkb);
    Header h;
    return c.header(h) ? BaseName(h.base) : "";
}

std::string Wkb::Point(const double* coordinates, int count) {
    std::string out(1 + 4 + 8 * static_cast<size_t>(count), '\0');
    out[0] = 1;
    const uint32_t type = count == 3 ? 1001 : kPoint;
    std::memcpy(out.data() + 1, &type, 4);
    std::memcpy(out.data() + 5, coordinates, 8 * static_cast<size_t>(count));
    return out;
}

bool Wkb::PointFromList(std::string_view list, int count, std::string& out, std::string& why) {
    double values[3] = {0, 0, 0};
    int n = 0;
    size_t i = 0;
    auto skipSpace = [&] {
        while (i < list.size() && (list[i] == ' ' || list[i] == '\t'))
            ++i;
    };
    skipSpace();
    if (i >= list.size() || list[i] != '[') {
        why = "is not a list of coordinates";
        return false;
    }
    ++i;
    while (true) {
        skipSpace();
        if (list.compare(i, 4, "null") == 0) {
            why = "has a missing coordinate";
            return false;
        }
        double v = 0;
        const auto [end, ec] = std::from_chars(list.data() + i, list.data() + list.size(), v);
        if (ec != std::errc() || !std::isfinite(v)) {
            why = "has a coordinate that is not a number";
            return false;
        }
        if (n == 3) {
            why = "has more than 3 coordinates";
            return false;
        }
        values[n++] = v;
        i = static_cast<size_t>(end - list.data());
        skipSpace();
        if (i < list.size() && list[i] == ',') {
            ++i;
            continue;
        }
        if (i < list.size() && list[i] == ']')
            break;
        why = "is not a list of coordinates";
        return false;
    }
    if (n != count) {
        why = "has " + std::to_string(n) + " coordinates, not " + std::to_string(count);
        return false;
    }
    // Written into `out`'s own buffer: callers that swap buffers in and out allocate nothing.
    out.resize(1 + 4 + 8 * static_cast<size_t>(count));
    out[0] = 1;
    const uint32_t type = count == 3 ? 1001 : kPoint;
    std::memcpy(out.data() + 1, &type, 4);
    std::memcpy(out.data() + 5, values, 8 * static_cast<size_t>(count));
    return true;
}

namespace {

// The coordinates of a plain 2D or Z point, the most common value, read without walking.
bool SimplePoint(std::string_view wkb, double xyz[3], bool& z) {
    if (wkb.size() != 21 && wkb.size() != 29)
        return false;
    uint32_t type = 0;
    std::memcpy(&type, wkb.data() + 1, 4);
    z = wkb.size() == 29;
    if (wkb[0] != 1 || type != (z ? 1001u : kPoint))
        return false;
    std::memcpy(xyz, wkb.data() + 5, z ? 24 : 16);
    return true;
}

}  // namespace

bool Wkb::AppendGeoJson(std::string_view wkb, std::string& out) {
    double xyz[3];
    bool z = false;
    if (SimplePoint(wkb, xyz, z)) {
        out += "{\"type\":\"Point\",\"coordinates\":[";
        AppendNumber(out, xyz[0]);
        out += ',';
        AppendNumber(out, xyz[1]);
        if (z) {
            out += ',';
            AppendNumber(out, xyz[2]);
        }
        out += "]}";
        return true;
    }
    const size_t size = out.size();
    Cursor c(wkb);
    GeoJsonVisitor v{c, out, {}, {}};
    if (!Walk(c, v, 0, nullptr) || !c.atEnd()) {
        out.resize(size);
        return false;
    }
    return true;
}

namespace {

void Widen(double x, double y, double bounds[4], bool& any) {
    if (!std::isfinite(x) || !std::isfinite(y))
        return;  // empty points are written as NaN
    if (!any) {
        bounds[0] = bounds[2] = x;
        bounds[1] = bounds[3] = y;
        any = true;
        return;
    }
    bounds[0] = std::min(bounds[0], x);
    bounds[1] = std::min(bounds[1], y);
    bounds[2] = std::max(bounds[2], x);
    bounds[3] = std::max(bounds[3], y);
}

struct BoundsVisitor {
    const Cursor& cursor;
    double* bounds;
    bool& any;
    void begin(const Header&) {}
    void end(const Header&) {}
    void tuple(size_t offset, const Header&) {
        Widen(cursor.number(offset), cursor.number(offset + 8), bounds, any);
    }
    void openList(uint32_t) {}
    void closeList() {}
    void openMember(uint32_t) {}
};

}  // namespace

bool Wkb::Extend(std::string_view wkb, double bounds[4], bool& any) {
    double xyz[3];
    bool z = false;
    if (SimplePoint(wkb, xyz, z)) {
        Widen(xyz[0], xyz[1], bounds, any);
        return true;
    }
    // Widen a copy so that a value found malformed half-way changes nothing.
    double widened[4] = {bounds[0], bounds[1], bounds[2], bounds[3]};
    bool widenedAny = any;
    Cursor c(wkb);
    BoundsVisitor v{c, widened, widenedAny};
    if (!Walk(c, v, 0, nullptr) || !c.atEnd())
        return false;
    std::copy(widened, widened + 4, bounds);
    any = widenedAny;
    return true;
}

}  // namespace qelocal::geo
