// Morph bodies: built vertex by vertex, edge by edge and polygon by polygon, then written into a
// morph's memo as one block of bytes.

#include <map>
#include <memory>

#include "ACAPinc.h"
#include "HandleBytes.h"
#include "HostState.h"

// The builder behind the add-on's opaque pointer.
struct API_BodyBuilder {
    host::MorphBody body;
};

namespace {

using host::MorphBody;
using host::detail::enter;
using host::detail::handleOf;
using host::detail::put;
using host::detail::take;

// The builders alive, owned here; the add-on holds plain pointers to them until it disposes.
std::map<const API_BodyBuilder*, std::unique_ptr<API_BodyBuilder>>& builders() {
    static host::detail::Immortal<
        std::map<const API_BodyBuilder*, std::unique_ptr<API_BodyBuilder>>>
        all;
    return all.get();
}

bool alive(const API_BodyBuilder* body) {
    return body != nullptr && builders().count(body) > 0;
}

// Block layout: the four counts, then the vertices, the edges, per polygon its edge count and
// material, and all polygons' edge indices.
struct Counts {
    UInt32 vertices;
    UInt32 edges;
    UInt32 polygons;
    UInt32 polygonEdges;
};

}  // namespace

namespace host::detail {

std::string encodeBody(const MorphBody& body) {
    UInt32 polygonEdges = 0;
    for (const auto& p : body.polygons)
        polygonEdges += static_cast<UInt32>(p.edges.size());
    std::string out;
    put(out,
        Counts{static_cast<UInt32>(body.vertices.size()), static_cast<UInt32>(body.edges.size()),
               static_cast<UInt32>(body.polygons.size()), polygonEdges});
    for (const auto& v : body.vertices)
        put(out, v);
    for (const auto& e : body.edges)
        put(out, e);
    for (const auto& p : body.polygons) {
        put(out, static_cast<UInt32>(p.edges.size()));
        put(out, p.material);
    }
    for (const auto& p : body.polygons) {
        for (const Int32 e : p.edges)
            put(out, e);
    }
    return out;
}

std::optional<MorphBody> decodeBody(const std::string& bytes) {
    std::size_t at = 0;
    Counts counts{};
    if (!take(bytes, at, counts))
        return std::nullopt;
    const std::size_t needed = sizeof(Counts) + counts.vertices * sizeof(API_Coord3D) +
                               counts.edges * sizeof(MorphBody::Edge) +
                               counts.polygons * 2 * sizeof(UInt32) +
                               counts.polygonEdges * sizeof(Int32);
    if (bytes.size() != needed)
        return std::nullopt;
    MorphBody body;
    body.vertices.resize(counts.vertices);
    body.edges.resize(counts.edges);
    body.polygons.resize(counts.polygons);
    for (auto& v : body.vertices)
        take(bytes, at, v);
    for (auto& e : body.edges)
        take(bytes, at, e);
    UInt32 total = 0;
    for (auto& p : body.polygons) {
        UInt32 n = 0;
        take(bytes, at, n);
        take(bytes, at, p.material);
        p.edges.resize(n);
        total += n;
    }
    if (total != counts.polygonEdges)
        return std::nullopt;
    for (auto& p : body.polygons) {
        for (Int32& e : p.edges)
            take(bytes, at, e);
    }
    return body;
}

bool isClosedBody(const MorphBody& body) {
    if (body.polygons.empty())
        return false;
    const auto directed = [&](Int32 signedEdge, MorphBody::Edge& out) {
        const UInt32 index = static_cast<UInt32>(signedEdge < 0 ? -signedEdge : signedEdge);
        if (index == 0 || index > body.edges.size())
            return false;
        const MorphBody::Edge& e = body.edges[index - 1];
        out = signedEdge < 0 ? MorphBody::Edge{e.to, e.from} : e;
        return out.from >= 1 && out.from <= body.vertices.size() && out.to >= 1 &&
               out.to <= body.vertices.size();
    };
    for (const auto& p : body.polygons) {
        if (p.edges.size() < 3)
            return false;
        MorphBody::Edge first{}, previous{}, current{};
        for (std::size_t i = 0; i < p.edges.size(); ++i) {
            if (!directed(p.edges[i], current))
                return false;
            if (i == 0) {
                first = current;
            } else if (current.from != previous.to) {
                return false;
            }
            previous = current;
        }
        if (previous.to != first.from)
            return false;
    }
    return true;
}

}  // namespace host::detail

GSErrCode ACAPI_Body_Create(const API_ElementMemo* fromBody, const API_OverriddenAttribute*,
                            API_BodyBuilder** body) {
    if (const auto err = enter("ACAPI_Body_Create"))
        return *err;
    if (body == nullptr)
        return APIERR_BADPARS;
    auto builder = std::make_unique<API_BodyBuilder>();
    if (fromBody != nullptr && fromBody->morphBody != nullptr) {
        const auto start = host::detail::decodeBody(host::detail::bytesOf(fromBody->morphBody));
        if (!start)
            return APIERR_BADPARS;
        builder->body = *start;
    }
    *body = builder.get();
    builders().emplace(builder.get(), std::move(builder));
    return NoError;
}

GSErrCode ACAPI_Body_AddVertex(API_BodyBuilder* body, const API_Coord3D& coord, UInt32& index) {
    index = 0;
    if (const auto err = enter("ACAPI_Body_AddVertex"))
        return *err;
    if (!alive(body))
        return APIERR_BADPARS;
    body->body.vertices.push_back(coord);
    index = static_cast<UInt32>(body->body.vertices.size());
    return NoError;
}

GSErrCode ACAPI_Body_AddEdge(API_BodyBuilder* body, UInt32 vertex1, UInt32 vertex2, Int32& index) {
    index = 0;
    if (const auto err = enter("ACAPI_Body_AddEdge"))
        return *err;
    if (!alive(body))
        return APIERR_BADPARS;
    const auto count = body->body.vertices.size();
    if (vertex1 == 0 || vertex2 == 0 || vertex1 > count || vertex2 > count || vertex1 == vertex2) {
        return APIERR_BADINDEX;
    }
    body->body.edges.push_back({vertex1, vertex2});
    index = static_cast<Int32>(body->body.edges.size());
    return NoError;
}

GSErrCode ACAPI_Body_AddPolygon(API_BodyBuilder* body, const GS::Array<Int32>& edges, Int32,
                                const API_OverriddenAttribute& material, UInt32& index) {
    index = 0;
    if (const auto err = enter("ACAPI_Body_AddPolygon"))
        return *err;
    if (!alive(body))
        return APIERR_BADPARS;
    if (edges.GetSize() < 3)
        return APIERR_BADPOLY;
    const auto count = static_cast<Int32>(body->body.edges.size());
    MorphBody::Polygon polygon{{}, material.hasValue ? material.value : 0};
    for (const Int32 e : edges) {
        if (e == 0 || e > count || -e > count)
            return APIERR_BADINDEX;
        polygon.edges.push_back(e);
    }
    body->body.polygons.push_back(std::move(polygon));
    index = static_cast<UInt32>(body->body.polygons.size());
    return NoError;
}

GSErrCode ACAPI_Body_Finish(API_BodyBuilder* body, GSHandle* memoBody, GSHandle* memoMaterialMap) {
    if (const auto err = enter("ACAPI_Body_Finish"))
        return *err;
    if (!alive(body) || memoBody == nullptr)
        return APIERR_BADPARS;
    BMKillHandle(memoBody);
    *memoBody = handleOf(host::detail::encodeBody(body->body));
    if (memoMaterialMap != nullptr) {
        std::string materials;
        for (const auto& p : body->body.polygons)
            put(materials, p.material);
        BMKillHandle(memoMaterialMap);
        *memoMaterialMap = handleOf(materials);
    }
    return *memoBody != nullptr ? NoError : APIERR_MEMFULL;
}

GSErrCode ACAPI_Body_Dispose(API_BodyBuilder** body) {
    if (const auto err = enter("ACAPI_Body_Dispose"))
        return *err;
    if (body == nullptr || !alive(*body))
        return APIERR_BADPARS;
    builders().erase(*body);
    *body = nullptr;
    return NoError;
}

std::size_t host::liveBodyBuilders() {
    return builders().size();
}
