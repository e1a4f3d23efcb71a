#include "fakes/BuildingPackages.h"

#include <fstream>
#include <iterator>

#include "builders/CityGmlBuilder.h"
#include "builders/ZipBuilder.h"
#include "loopback/TempDir.h"

namespace fakes {
namespace {

// The ZIP of the sheets, then the raw entries, each entry under the county's folder.
std::string zipOf(std::string_view county, const std::vector<ziptest::Item>& sheets,
                  const std::vector<RawEntry>& raw) {
    const loopback::TempDir dir;
    const std::string path = dir.file("package.zip");
    std::vector<ziptest::Item> items{{std::string(county) + "/", "", true}};
    for (const ziptest::Item& sheet : sheets)
        items.push_back({std::string(county) + "/" + sheet.name, sheet.data});
    for (const auto& [name, text] : raw)
        items.push_back({std::string(county) + "/" + name, text});
    if (!ziptest::writeZip(path, items))
        return {};
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string lod1Members(const std::vector<Building3D>& buildings) {
    std::string members;
    for (const Building3D& b : buildings) {
        members += citygmltest::member(
            citygmltest::blockBuilding(b.id, b.footprint, b.baseZ, b.baseZ + b.height));
    }
    return members;
}

std::string lod2Members(const std::vector<BuildingLod2>& buildings) {
    std::string members;
    for (const BuildingLod2& b : buildings)
        members += citygmltest::member(citygmltest::facesBuilding(b.id, b.faces));
    return members;
}

Lod2Face flatFace(const std::vector<GisPoint>& ring, double z) {
    return {ring, std::vector<double>(ring.size(), z)};
}

}  // namespace

BuildingLod2 lod2Block(const Building3D& block) {
    std::vector<GisPoint> ring = block.footprint;
    const auto same = [](const GisPoint& a, const GisPoint& b) { return a.x == b.x && a.y == b.y; };
    if (ring.size() > 1 && same(ring.front(), ring.back()))
        ring.pop_back();
    const double top = block.baseZ + block.height;
    const std::vector<GisPoint> down(ring.rbegin(), ring.rend());
    BuildingLod2 solid{block.id, {flatFace(down, block.baseZ), flatFace(ring, top)}, 0};
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const GisPoint& a = ring[i];
        const GisPoint& b = ring[(i + 1) % ring.size()];
        solid.faces.push_back({{a, b, b, a}, {block.baseZ, block.baseZ, top, top}});
    }
    return solid;
}

std::string lod1PackagePath(std::string_view county, int year) {
    const std::string code(county);
    return "/InneDane/Budynki3D/LOD1/" + std::to_string(year) + "/" + code.substr(0, 2) + "/" +
           code + ".zip";
}

std::string lod2PackagePath(std::string_view county) {
    return "/InneDane/Budynki3D/LOD2/" + std::string(county) + "_gml.zip";
}

std::string lod1Package(std::string_view county, const std::vector<Lod1Sheet>& sheets,
                        const std::vector<RawEntry>& raw) {
    std::vector<ziptest::Item> items;
    for (const Lod1Sheet& s : sheets)
        items.push_back({s.name, citygmltest::sheet(lod1Members(s.buildings), s.envelope)});
    return zipOf(county, items, raw);
}

std::string lod2Package(std::string_view county, const std::vector<Lod2Sheet>& sheets,
                        const std::vector<RawEntry>& raw) {
    std::vector<ziptest::Item> items;
    for (const Lod2Sheet& s : sheets)
        items.push_back({s.name, citygmltest::sheet(lod2Members(s.buildings), s.envelope)});
    return zipOf(county, items, raw);
}

void serveLod1Package(Hosts& hosts, std::string_view county, int year,
                      const std::vector<Lod1Sheet>& sheets) {
    hosts.openData.on(lod1PackagePath(county, year),
                      loopback::ok(lod1Package(county, sheets), "application/zip"));
}

void serveLod2Package(Hosts& hosts, std::string_view county, const std::vector<Lod2Sheet>& sheets) {
    hosts.openData.on(lod2PackagePath(county),
                      loopback::ok(lod2Package(county, sheets), "application/zip"));
}

}  // namespace fakes
