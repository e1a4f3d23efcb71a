#pragma once
// Collects the LiDAR points of one download. A point outside the frame is dropped; a kept point
// is moved from PL-1992 into the placement zone of PL-2000 (through the affine frame linearised
// at the frame's centre) and then into a local frame around an anchor; and the cloud is thinned
// on a voxel grid of that local frame, where the first point to fall into a voxel is the one that
// stays. Which point that is follows the order in which the points are added.
//
// One thread fills a builder; it holds no lock and starts no thread.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "geodata/GisTypes.h"
#include "geodata/ProjConv.h"

class PointCloudBuilder {
public:
    // A voxel by its signed indices along local x, y and z.
    struct VoxelKey {
        std::int64_t ix = 0;
        std::int64_t iy = 0;
        std::int64_t iz = 0;
        friend bool operator==(const VoxelKey&, const VoxelKey&) = default;
    };

    // Combines the three indices in 64-bit unsigned arithmetic (additions wrap, shifts are
    // logical): h = ix, then for each of iy and iz h ^= i + 0x9e3779b97f4a7c15 + (h << 6) + (h >>
    // 2).
    struct VoxelKeyHash {
        std::uint64_t operator()(const VoxelKey& key) const noexcept;
    };

    // The voxels that already hold a kept point. A voxel is one bit of a block of 4 x 4 x 4
    // voxels, and blocks are kept by tiles of 16 x 16 x 16 blocks, each in a small
    // open-addressing table of its own: the points of one area, which a scanner records one
    // after another, then work within a few kilobytes of memory. Tables double before they are
    // three quarters full; an insert allocates nothing outside a growth.
    class VoxelSet {
    public:
        // True when the key was new (and is now held).
        bool insert(const VoxelKey& key);
        std::size_t size() const { return size_; }

    private:
        struct Block {
            std::uint64_t held = 0;   // one bit per voxel; 0 marks a free slot
            std::uint16_t place = 0;  // the block's place in its tile
        };
        struct Tile {
            VoxelKey key;               // the block indices divided by 16, rounded down
            std::vector<Block> blocks;  // empty marks a free slot of the tile table
            std::size_t count = 0;
        };
        Tile& tileFor(const VoxelKey& tileKey);
        std::size_t tileSlotOf(const VoxelKey& tileKey) const;
        void growTiles();
        // The voxel bits of the block at `place` in the tile, a new block when it has none
        // (the caller sets a bit in a new block at once).
        static std::uint64_t& heldIn(Tile& tile, std::uint16_t place);
        static void growBlocks(Tile& tile);

        std::vector<Tile> tiles_;
        std::size_t tileCount_ = 0;
        int tileShift_ = 64;    // 64 - log2(tile slots)
        std::size_t last_ = 0;  // the slot of the tile used last, when there is one
        // The block used last and its voxel bits: a scanner's next point mostly falls into it.
        // Only a growth of that block's own table moves the bits, and a growth happens only
        // while a block is looked up, after which this is set anew.
        VoxelKey lastBlock_;
        std::uint64_t* lastHeld_ = nullptr;
        std::size_t size_ = 0;
    };

    // The voxel of a local point for an edge above 0: floor of each coordinate over the edge.
    // Indices beyond the 64-bit range are held at its ends.
    static VoxelKey voxelOf(double lx, double ly, double lz, double edge);

    // frame in PL-1992 metres; epsg the placement zone (2176 to 2179); voxel the edge in metres,
    // 0 or less keeping every point. The default anchor is the smallest zone easting and the
    // smallest zone northing of the frame's four corners, at height 0.
    PointCloudBuilder(const Bbox& frame, int epsg, double voxel);

    // Replaces the anchor; before the first add.
    void setAnchor(double easting, double northing, double height);

    // One point: x, y in PL-1992 metres, z as read. A point with a coordinate that is not finite
    // is dropped, as is one outside the frame (its edges belong to it).
    void add(double x, double y, double z, std::uint8_t r, std::uint8_t g, std::uint8_t b);

    Bbox bbox;
    double voxel = 0.0;
    ProjConv::Sim2000 sim;
    double anchorX = 0.0;
    double anchorY = 0.0;
    double anchorZ = 0.0;
    std::vector<ClPoint> points;  // kept points in local coordinates, class 0, in the order kept
    VoxelSet voxels;
};
