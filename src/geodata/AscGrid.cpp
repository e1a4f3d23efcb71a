#include "geodata/AscGrid.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <type_traits>

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Blank-separated tokens of a text; blanks, tabs and line ends are alike.
class Tokens {
public:
    explicit Tokens(std::string_view text) : text_(text) {}

    // The next token, or an empty view at the end of the text.
    std::string_view next() {
        while (pos_ < text_.size() && isBlank(text_[pos_])) {
            ++pos_;
        }
        const std::size_t start = pos_;
        while (pos_ < text_.size() && !isBlank(text_[pos_])) {
            ++pos_;
        }
        return text_.substr(start, pos_ - start);
    }

    // The next token read whole as a number (decimal point, optional exponent, optional sign).
    bool number(double& v) {
        std::string_view tok = next();
        if (tok.size() > 1 && tok.front() == '+' && tok[1] != '-') {
            tok.remove_prefix(1);
        }
        const char* end = tok.data() + tok.size();
        const auto [stop, ec] = std::from_chars(tok.data(), end, v);
        return !tok.empty() && ec == std::errc() && stop == end;
    }

    std::size_t remaining() const { return text_.size() - pos_; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

// A count from the header, truncated toward zero; anything outside 32 bits (NaN included) reads
// as 0, which the size check refuses.
std::int32_t toCount(double v) {
    constexpr double kLimit = 2147483648.0;  // 2^31
    if (!(v > -kLimit && v < kLimit)) {
        return 0;
    }
    return static_cast<std::int32_t>(v);
}

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

// What the six header pairs say; a centre keyword is resolved once the cell size is known.
struct Header {
    bool xCentre = false;
    bool yCentre = false;
    double x = 0.0;
    double y = 0.0;
};

template <class Cell>
bool readHeaderPair(Tokens& tokens, BasicAscGrid<Cell>& g, Header& h) {
    const std::string key = lowerAscii(tokens.next());
    double v = 0.0;
    if (key.empty() || !tokens.number(v)) {
        return false;
    }
    if (key == "ncols") {
        g.ncols = toCount(v);
    } else if (key == "nrows") {
        g.nrows = toCount(v);
    } else if (key == "xllcorner" || key == "xllcenter") {
        h.x = v;
        h.xCentre = key == "xllcenter";
    } else if (key == "yllcorner" || key == "yllcenter") {
        h.y = v;
        h.yCentre = key == "yllcenter";
    } else if (key == "cellsize") {
        g.cellsize = v;
    } else if (key == "nodata_value") {
        g.nodata = v;
    } else {
        return false;
    }
    return true;
}

// The index of v among 0 .. limit, v cut to that range; NaN gives 0.
std::int32_t clampedIndex(double v, std::int32_t limit) {
    if (!(v > 0.0)) {
        return 0;
    }
    return v < static_cast<double>(limit) ? static_cast<std::int32_t>(v) : limit;
}

}  // namespace

template <class Cell>
bool BasicAscGrid<Cell>::read(std::string_view text, const std::optional<Bbox>& window) {
    Tokens tokens(text);
    Header h{false, false, xll, yll};
    for (int pair = 0; pair < 6; ++pair) {
        if (!readHeaderPair(tokens, *this, h)) {
            return false;
        }
    }
    if (ncols < 1 || nrows < 1 || !std::isfinite(cellsize) || cellsize <= 0.0) {
        return false;
    }
    xll = h.xCentre ? h.x - cellsize / 2.0 : h.x;
    yll = h.yCentre ? h.y - cellsize / 2.0 : h.y;
    if (!std::isfinite(xll) || !std::isfinite(yll)) {
        return false;
    }
    // Every value takes at least one character and one separator: a header announcing more
    // values than the rest of the text can hold is refused before anything is allocated.
    const auto count = static_cast<std::uint64_t>(ncols) * static_cast<std::uint64_t>(nrows);
    if (count > (tokens.remaining() + 1) / 2) {
        return false;
    }
    const Kept kept = keptOf(window);
    const std::int32_t columns = std::max(kept.endColumn - kept.firstColumn, 0);
    const std::int32_t rows = std::max(kept.endRow - kept.firstRow, 0);
    z.assign(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows), Cell{});
    // The kept cells come in file order, north to south, which is their order in z.
    std::size_t next = 0;
    for (std::int32_t fileRow = 0; fileRow < nrows; ++fileRow) {
        const std::int32_t row = nrows - 1 - fileRow;
        const bool rowKept = row >= kept.firstRow && row < kept.endRow;
        for (std::int32_t col = 0; col < ncols; ++col) {
            double v = 0.0;
            if (!tokens.number(v)) {
                return false;
            }
            if (rowKept && col >= kept.firstColumn && col < kept.endColumn) {
                z[next++] = stored(v);
            }
        }
    }
    xll += static_cast<double>(kept.firstColumn) * cellsize;
    yll += static_cast<double>(kept.firstRow) * cellsize;
    ncols = columns;
    nrows = rows;
    return true;
}

template <class Cell>
typename BasicAscGrid<Cell>::Kept BasicAscGrid<Cell>::keptOf(
    const std::optional<Bbox>& window) const {
    if (!window) {
        return {0, ncols, 0, nrows};
    }
    // From one cell before the first that meets the window to one after the last.
    return {clampedIndex(std::floor((window->minx - xll) / cellsize) - 1.0, ncols),
            clampedIndex(std::floor((window->maxx - xll) / cellsize) + 2.0, ncols),
            clampedIndex(std::floor((window->miny - yll) / cellsize) - 1.0, nrows),
            clampedIndex(std::floor((window->maxy - yll) / cellsize) + 2.0, nrows)};
}

template <class Cell>
Cell BasicAscGrid<Cell>::stored(double v) const {
    if constexpr (std::is_same_v<Cell, double>) {
        return v;
    } else {
        const bool fits = hasData(v) && std::abs(v) <= std::numeric_limits<Cell>::max();
        return fits ? static_cast<Cell>(v) : std::numeric_limits<Cell>::quiet_NaN();
    }
}

template <class Cell>
bool BasicAscGrid<Cell>::sampleZ(double x, double y, double& out) const {
    if (z.empty() ||
        z.size() != static_cast<std::size_t>(ncols) * static_cast<std::size_t>(nrows) ||
        !std::isfinite(x) || !std::isfinite(y)) {
        return false;
    }
    const double fx = (x - xll) / cellsize;
    const double fy = (y - yll) / cellsize;
    if (!(fx >= 0.0 && fx < ncols && fy >= 0.0 && fy < nrows)) {
        return false;
    }
    // Bilinear between cell centres; neighbours beyond the edge are clamped onto it, so in the
    // outer half-cell band the interpolation runs along the edge cells only.
    const double gx = fx - 0.5;
    const double gy = fy - 0.5;
    // Inside the grid gx >= -0.5 and gx < ncols - 0.5, so c0 lies in -1 .. ncols - 1.
    const double c0 = std::floor(gx);
    const double r0 = std::floor(gy);
    const double tx = gx - c0;
    const double ty = gy - r0;
    const auto col = static_cast<std::int32_t>(c0);
    const auto row = static_cast<std::int32_t>(r0);
    const std::int32_t ca = std::max(col, 0);
    const std::int32_t cb = std::min(col + 1, ncols - 1);
    const std::int32_t ra = std::max(row, 0);
    const std::int32_t rb = std::min(row + 1, nrows - 1);
    const double z00 = cell(ca, ra);
    const double z10 = cell(cb, ra);
    const double z01 = cell(ca, rb);
    const double z11 = cell(cb, rb);
    if (hasData(z00) && hasData(z10) && hasData(z01) && hasData(z11)) {
        out = (1.0 - tx) * (1.0 - ty) * z00 + tx * (1.0 - ty) * z10 + (1.0 - tx) * ty * z01 +
              tx * ty * z11;
        return true;
    }
    const double own = cell(static_cast<std::int32_t>(fx), static_cast<std::int32_t>(fy));
    if (!hasData(own)) {
        return false;
    }
    out = own;
    return true;
}

template class BasicAscGrid<double>;
template class BasicAscGrid<float>;
