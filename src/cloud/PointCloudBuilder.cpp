#include "cloud/PointCloudBuilder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

namespace {

constexpr std::uint64_t kGolden = 0x9e3779b97f4a7c15ULL;
constexpr std::size_t kFirstTileSlots = 64;
constexpr std::size_t kFirstBlockSlots = 16;

// The index of a voxel along one axis: the floor, held within the 64-bit range (a coordinate
// that is not a number gives 0; the builder drops such points before).
std::int64_t indexOf(double coordinate, double edge) {
    constexpr double kTop = 9223372036854775808.0;  // 2^63
    const double i = std::floor(coordinate / edge);
    if (i >= kTop)
        return std::numeric_limits<std::int64_t>::max();
    if (i < -kTop)
        return std::numeric_limits<std::int64_t>::min();
    return i == i ? static_cast<std::int64_t>(i) : 0;
}

// The finaliser of MurmurHash3: every bit of the result depends on every bit of v.
std::uint64_t mixed(std::int64_t v) {
    auto h = static_cast<std::uint64_t>(v);
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

// Where a block's place (12 bits) starts its search in a tile's table of 2^k slots.
std::size_t blockSlotOf(std::uint16_t place, std::size_t slots) {
    return static_cast<std::size_t>((place * 0x9E3779B1U) >> (32 - std::countr_zero(slots)));
}

}  // namespace

std::uint64_t PointCloudBuilder::VoxelKeyHash::operator()(const VoxelKey& key) const noexcept {
    auto h = mixed(key.ix);
    h ^= mixed(key.iy) + kGolden + (h << 6) + (h >> 2);
    h ^= mixed(key.iz) + kGolden + (h << 6) + (h >> 2);
    return h;
}

void PointCloudBuilder::VoxelSet::growBlocks(Tile& tile) {
    std::vector<Block> old = std::move(tile.blocks);
    tile.blocks.assign(2 * old.size(), Block{});
    const std::size_t mask = tile.blocks.size() - 1;
    for (const Block& b : old) {
        if (b.held == 0)
            continue;
        std::size_t at = blockSlotOf(b.place, tile.blocks.size());
        while (tile.blocks[at].held != 0)
            at = (at + 1) & mask;
        tile.blocks[at] = b;
    }
}

std::uint64_t& PointCloudBuilder::VoxelSet::heldIn(Tile& tile, std::uint16_t place) {
    if (4 * (tile.count + 1) > 3 * tile.blocks.size())
        growBlocks(tile);
    std::vector<Block>& blocks = tile.blocks;
    const std::size_t mask = blocks.size() - 1;
    std::size_t at = blockSlotOf(place, blocks.size());
    while (blocks[at].held != 0 && blocks[at].place != place)
        at = (at + 1) & mask;
    if (blocks[at].held == 0) {
        blocks[at].place = place;
        ++tile.count;
    }
    return blocks[at].held;
}

std::size_t PointCloudBuilder::VoxelSet::tileSlotOf(const VoxelKey& tileKey) const {
    return static_cast<std::size_t>(VoxelKeyHash{}(tileKey) >> tileShift_);
}

PointCloudBuilder::VoxelSet::Tile& PointCloudBuilder::VoxelSet::tileFor(const VoxelKey& tileKey) {
    if (!tiles_.empty() && !tiles_[last_].blocks.empty() && tiles_[last_].key == tileKey)
        return tiles_[last_];
    if (4 * (tileCount_ + 1) > 3 * tiles_.size())
        growTiles();
    const std::size_t mask = tiles_.size() - 1;
    std::size_t at = tileSlotOf(tileKey);
    while (!tiles_[at].blocks.empty() && !(tiles_[at].key == tileKey))
        at = (at + 1) & mask;
    if (tiles_[at].blocks.empty()) {
        tiles_[at].key = tileKey;
        tiles_[at].blocks.resize(kFirstBlockSlots);
        ++tileCount_;
    }
    last_ = at;
    return tiles_[at];
}

void PointCloudBuilder::VoxelSet::growTiles() {
    std::vector<Tile> old = std::move(tiles_);
    const std::size_t count = std::max(kFirstTileSlots, 2 * old.size());
    tiles_ = std::vector<Tile>(count);
    tileShift_ = 64 - std::countr_zero(count);
    for (Tile& tile : old) {
        if (tile.blocks.empty())
            continue;
        std::size_t at = tileSlotOf(tile.key);
        while (!tiles_[at].blocks.empty())
            at = (at + 1) & (count - 1);
        tiles_[at] = std::move(tile);
    }
    last_ = 0;
}

bool PointCloudBuilder::VoxelSet::insert(const VoxelKey& key) {
    // Arithmetic shifts divide by powers of two rounding down, negative indices included.
    const VoxelKey block{key.ix >> 2, key.iy >> 2, key.iz >> 2};
    if (lastHeld_ == nullptr || !(block == lastBlock_)) {
        Tile& tile = tileFor({block.ix >> 4, block.iy >> 4, block.iz >> 4});
        const auto place = static_cast<std::uint16_t>((block.ix & 15) | (block.iy & 15) << 4 |
                                                      (block.iz & 15) << 8);
        lastHeld_ = &heldIn(tile, place);
        lastBlock_ = block;
    }
    std::uint64_t& held = *lastHeld_;
    const std::uint64_t bit = std::uint64_t{1}
                              << ((key.ix & 3) | (key.iy & 3) << 2 | (key.iz & 3) << 4);
    if ((held & bit) != 0)
        return false;
    held |= bit;
    ++size_;
    return true;
}

PointCloudBuilder::VoxelKey PointCloudBuilder::voxelOf(double lx, double ly, double lz,
                                                       double edge) {
    return {indexOf(lx, edge), indexOf(ly, edge), indexOf(lz, edge)};
}

PointCloudBuilder::PointCloudBuilder(const Bbox& frame, int epsg, double voxelEdge)
    : bbox(frame), voxel(voxelEdge), sim(ProjConv::makeSim2000(frame, epsg)) {
    const GisPoint corners[] = {
        sim.toPl2000({frame.minx, frame.miny}), sim.toPl2000({frame.maxx, frame.miny}),
        sim.toPl2000({frame.minx, frame.maxy}), sim.toPl2000({frame.maxx, frame.maxy})};
    anchorX = std::min({corners[0].x, corners[1].x, corners[2].x, corners[3].x});
    anchorY = std::min({corners[0].y, corners[1].y, corners[2].y, corners[3].y});
}

void PointCloudBuilder::setAnchor(double easting, double northing, double height) {
    anchorX = easting;
    anchorY = northing;
    anchorZ = height;
}

void PointCloudBuilder::add(double x, double y, double z, std::uint8_t r, std::uint8_t g,
                            std::uint8_t b) {
    // Written so that a coordinate that is not a number fails the test.
    if (!(x >= bbox.minx && x <= bbox.maxx && y >= bbox.miny && y <= bbox.maxy))
        return;
    const GisPoint zone = sim.toPl2000({x, y});
    const double lx = zone.x - anchorX;
    const double ly = zone.y - anchorY;
    const double lz = z - anchorZ;
    if (!std::isfinite(lx) || !std::isfinite(ly) || !std::isfinite(lz))
        return;
    if (voxel > 0.0 && !voxels.insert(voxelOf(lx, ly, lz, voxel)))
        return;
    points.push_back(ClPoint{lx, ly, lz, r, g, b, 0});
}
