#include "geometry/lod2fit/ObjWriter.h"

#include <array>
#include <charconv>
#include <fstream>

namespace lod2fit {
namespace {

void appendNumber(std::string& line, double value) {
    std::array<char, 32> buffer{};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    line.append(buffer.data(), error == std::errc{} ? end : buffer.data());
}

void writeVertices(std::ofstream& out, const SolidMesh& mesh, double shiftX) {
    std::string line;
    for (const Vec3& v : mesh.vertices) {
        line = "v ";
        appendNumber(line, v.x + shiftX);
        line += ' ';
        appendNumber(line, v.y);
        line += ' ';
        appendNumber(line, v.z);
        line += '\n';
        out << line;
    }
}

// firstIndex is the 1-based number of the mesh's vertex 0 in the file.
void writeFaces(std::ofstream& out, const SolidMesh& mesh, long long firstIndex) {
    for (const Face& face : mesh.faces) {
        out << 'f';
        for (const std::int32_t index : face) {
            out << ' ' << index + firstIndex;
        }
        out << '\n';
    }
}

}  // namespace

void writeObj(const std::string& path, const SolidMesh& mesh) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        return;
    }
    writeVertices(out, mesh, 0.0);
    writeFaces(out, mesh, 1);
}

void writeObjGrid(const std::string& path,
                  const std::vector<std::pair<std::string, SolidMesh>>& meshes, double spacing) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        return;
    }
    long long written = 0;
    for (std::size_t k = 0; k < meshes.size(); ++k) {
        const auto& [name, mesh] = meshes[k];
        out << "o " << name << '\n';
        writeVertices(out, mesh, static_cast<double>(k) * spacing);
        writeFaces(out, mesh, 1 + written);
        written += static_cast<long long>(mesh.vertices.size());
    }
}

}  // namespace lod2fit
