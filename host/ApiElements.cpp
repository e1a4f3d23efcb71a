// Elements, their memos, the selection and undoable commands of the in-memory project.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>
#include <type_traits>

#include "ACAPinc.h"
#include "HandleBytes.h"
#include "HostState.h"

using host::detail::bytesOf;
using host::detail::enter;
using host::detail::findElement;
using host::detail::handleOf;
using host::detail::state;
using host::detail::StoredElement;

namespace host::detail {

namespace {

// Calls visit(field, slot) for each handle field of the memo, with the field's own typed slot.
template <class Memo, class Visit>
void visitMemo(Memo& memo, std::size_t field, Visit&& visit) {
    switch (field) {
        case kCoords:
            return visit(memo.coords);
        case kPends:
            return visit(memo.pends);
        case kParcs:
            return visit(memo.parcs);
        case kVertexIDs:
            return visit(memo.vertexIDs);
        case kMeshPolyZ:
            return visit(memo.meshPolyZ);
        case kMeshLevelCoords:
            return visit(memo.meshLevelCoords);
        case kMeshLevelEnds:
            return visit(memo.meshLevelEnds);
        case kTextContent:
            return visit(memo.textContent);
        case kPicture:
            return visit(memo.pictHdl);
        case kMorphBody:
            return visit(memo.morphBody);
        case kMorphMaterialMap:
            return visit(memo.morphMaterialMap);
        default:
            return visit(memo.drawingData);
    }
}

}  // namespace

GSHandle memoHandle(const API_ElementMemo& memo, std::size_t field) {
    GSHandle result = nullptr;
    visitMemo(memo, field, [&](auto slot) { result = reinterpret_cast<GSHandle>(slot); });
    return result;
}

void setMemoHandle(API_ElementMemo& memo, std::size_t field, GSHandle handle) {
    visitMemo(memo, field, [&](auto& slot) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(handle);
    });
}

UInt64 memoMaskOf(std::size_t field) {
    switch (field) {
        case kTextContent:
            return APIMemoMask_TextContent;
        case kPicture:
            return APIMemoMask_Picture;
        case kMorphBody:
        case kMorphMaterialMap:
            return APIMemoMask_MorphBody;
        case kMeshLevelCoords:
        case kMeshLevelEnds:
            return APIMemoMask_MeshLevel;
        case kDrawingData:
            return APIMemoMask_DrawingData;
        default:
            return APIMemoMask_Polygon;
    }
}

}  // namespace host::detail

namespace {

using host::detail::kMemoFieldCount;
using host::detail::memoHandle;
using host::detail::memoMaskOf;
using host::detail::setMemoHandle;

bool isKnownType(API_ElemTypeID type) {
    switch (type) {
        case API_WallID:
        case API_SlabID:
        case API_MeshID:
        case API_TextID:
        case API_HatchID:
        case API_PolyLineID:
        case API_DrawingID:
        case API_PictureID:
        case API_MorphID:
            return true;
        default:
            return false;
    }
}

const API_Polygon* polygonOf(const API_Element& e) {
    switch (e.header.type.typeID) {
        case API_PolyLineID:
            return &e.polyLine.poly;
        case API_SlabID:
            return &e.slab.poly;
        case API_MeshID:
            return &e.mesh.poly;
        case API_HatchID:
            return &e.hatch.poly;
        case API_DrawingID:
            return &e.drawing.poly;
        default:
            return nullptr;
    }
}

bool isClosedType(API_ElemTypeID type) {
    return type != API_PolyLineID;
}

// The rings of an area: pends holds 0 and then the index of each ring's last coordinate, ending
// at nCoords; every ring that is not empty ends on its first point.
bool closedRings(const API_Polygon& poly, const API_ElementMemo& memo) {
    if (poly.nSubPolys < 1 || memo.pends == nullptr ||
        BMGetTypedCount(memo.pends) < poly.nSubPolys + 1) {
        return false;
    }
    const Int32* ends = *memo.pends;
    if (ends[0] != 0 || ends[poly.nSubPolys] != poly.nCoords)
        return false;
    for (Int32 ring = 1; ring <= poly.nSubPolys; ++ring) {
        const Int32 first = ends[ring - 1] + 1, last = ends[ring];
        if (last < ends[ring - 1])
            return false;
        if (last >= first && (last - first < 3 || (*memo.coords)[first] != (*memo.coords)[last]))
            return false;
    }
    return true;
}

bool isFinite(const API_Coord& c) {
    return std::isfinite(c.x) && std::isfinite(c.y);
}

bool isFinite(const API_Coord3D& c) {
    return std::isfinite(c.x) && std::isfinite(c.y) && std::isfinite(c.z);
}

bool isFinite(double v) {
    return std::isfinite(v);
}

bool isFinite(const API_MeshLevelCoord& c) {
    return isFinite(c.c);
}

// Whether entries first..last of the handle's array are all finite.
template <class T>
bool finiteEntries(T** handle, Int32 first, Int32 last) {
    for (Int32 i = first; i <= last; ++i) {
        if (!isFinite((*handle)[i]))
            return false;
    }
    return true;
}

// The checks the host makes on a polygon and its memo before creating the element: enough
// coordinates for the count (plus the unused entry 0), all of them numbers, and, for areas, a
// closed outline.
GSErrCode checkPolygon(const API_Element& e, const API_ElementMemo* memo) {
    const API_Polygon* poly = polygonOf(e);
    if (poly == nullptr)
        return NoError;
    if (memo == nullptr || memo->coords == nullptr)
        return APIERR_BADPOLY;
    const bool closed = isClosedType(e.header.type.typeID);
    if (poly->nCoords < (closed ? 4 : 2))
        return APIERR_BADPOLY;
    if (BMGetTypedCount(memo->coords) < poly->nCoords + 1)
        return APIERR_BADPOLY;
    if (!finiteEntries(memo->coords, 1, poly->nCoords))
        return APIERR_BADPOLY;
    if (closed && !closedRings(*poly, *memo))
        return APIERR_BADPOLY;
    if (poly->nArcs > 0 && (memo->parcs == nullptr || BMGetTypedCount(memo->parcs) < poly->nArcs)) {
        return APIERR_BADPOLY;
    }
    return NoError;
}

// Level lines end at running counts of level points: never falling, the last one within the
// level points, which are all numbers.
bool levelDataFits(const API_ElementMemo& memo) {
    const GSSize points = BMGetTypedCount(memo.meshLevelCoords);
    if (points > 0 && !finiteEntries(memo.meshLevelCoords, 0, static_cast<Int32>(points) - 1))
        return false;
    const GSSize lines = BMGetTypedCount(memo.meshLevelEnds);
    Int32 previous = 0;
    for (GSSize i = 0; i < lines; ++i) {
        const Int32 end = (*memo.meshLevelEnds)[i];
        if (end < previous || end > points)
            return false;
        previous = end;
    }
    return true;
}

// A mesh has a height, a number, for every outline coordinate, and level data that fits.
GSErrCode checkMesh(const API_Element& e, const API_ElementMemo* memo) {
    if (e.header.type.typeID != API_MeshID)
        return NoError;
    const bool heights = memo != nullptr && memo->meshPolyZ != nullptr &&
                         BMGetTypedCount(memo->meshPolyZ) >= e.mesh.poly.nCoords + 1 &&
                         finiteEntries(memo->meshPolyZ, 1, e.mesh.poly.nCoords);
    return heights && levelDataFits(*memo) ? NoError : APIERR_BADPARS;
}

// A morph needs a body whose polygons are closed rings over vertices that are numbers, and one
// that the test's refusal rule, if any, lets through.
GSErrCode checkBody(const API_Element& e, const API_ElementMemo* memo) {
    if (e.header.type.typeID != API_MorphID)
        return NoError;
    if (memo == nullptr || memo->morphBody == nullptr)
        return APIERR_BADPARS;
    const auto body = host::detail::decodeBody(bytesOf(memo->morphBody));
    if (!body || !host::detail::isClosedBody(*body))
        return APIERR_BADPOLY;
    const auto finite = [](const API_Coord3D& v) { return isFinite(v); };
    if (!std::all_of(body->vertices.begin(), body->vertices.end(), finite))
        return APIERR_BADPOLY;
    const auto& refuse = state().bodyRefusal;
    return refuse && refuse(*body) ? APIERR_BADPOLY : NoError;
}

// The image's bytes begin as a file of its type does.
bool bytesMatchMimeType(const std::string& bytes, const char* mimeType) {
    const auto startsWith = [&](std::string_view signature) {
        return bytes.compare(0, signature.size(), signature) == 0;
    };
    if (std::strcmp(mimeType, "image/png") == 0)
        return startsWith("\x89PNG\r\n\x1a\n");
    if (std::strcmp(mimeType, "image/jpeg") == 0)
        return startsWith("\xff\xd8\xff");
    return false;
}

// A picture needs image bytes that it can decode as its MIME type says, and a destination box
// of positive size.
GSErrCode checkPicture(const API_Element& e, const API_ElementMemo* memo) {
    if (e.header.type.typeID != API_PictureID)
        return NoError;
    const API_PictureType& picture = e.picture;
    if (memo == nullptr || BMGetHandleSize(memo->pictHdl) == 0 ||
        std::memchr(picture.mimeType, '\0', sizeof picture.mimeType) == nullptr) {
        return APIERR_BADPARS;
    }
    const std::string bytes = bytesOf(memo->pictHdl);
    const API_Box& box = picture.destBox;
    const bool sized = box.xMax - box.xMin > 0 && box.yMax - box.yMin > 0 &&
                       std::isfinite(box.xMax - box.xMin) && std::isfinite(box.yMax - box.yMin);
    return sized && bytesMatchMimeType(bytes, picture.mimeType) ? NoError : APIERR_BADPARS;
}

// A drawing needs drawing data and a name that ends within its field.
GSErrCode checkDrawing(const API_Element& e, const API_ElementMemo* memo) {
    if (e.header.type.typeID != API_DrawingID)
        return NoError;
    const bool data =
        memo != nullptr && host::detail::decodeDrawing(bytesOf(memo->drawingData)).has_value();
    const bool named = std::memchr(e.drawing.name, '\0', sizeof e.drawing.name) != nullptr;
    return data && named ? NoError : APIERR_BADPARS;
}

// A text needs content and an anchor point that is a number.
GSErrCode checkText(const API_Element& e, const API_ElementMemo* memo) {
    if (e.header.type.typeID != API_TextID)
        return NoError;
    const bool content = memo != nullptr && memo->textContent != nullptr;
    return content && isFinite(e.text.loc) ? NoError : APIERR_BADPARS;
}

// The fill of a hatch and the building material of a slab or mesh are attributes of the project
// (a building material of 0 is none).
GSErrCode checkAttributes(const API_Element& e) {
    const auto exists = [](API_AttrTypeID type, API_AttributeIndex index) {
        return host::detail::findAttribute(type, index) != nullptr;
    };
    const auto material = [&](API_AttributeIndex index) {
        return index == 0 || exists(API_BuildingMaterialID, index);
    };
    bool known = true;
    switch (e.header.type.typeID) {
        case API_HatchID:
            known = exists(API_FilltypeID, e.hatch.fillInd);
            break;
        case API_SlabID:
            known = material(e.slab.buildingMaterial);
            break;
        case API_MeshID:
            known = material(e.mesh.buildingMaterial);
            break;
        default:
            break;
    }
    return known ? NoError : APIERR_BADINDEX;
}

GSErrCode checkMemo(const API_Element& e, const API_ElementMemo* memo) {
    if (const GSErrCode err = checkPolygon(e, memo))
        return err;
    if (const GSErrCode err = checkBody(e, memo))
        return err;
    if (const GSErrCode err = checkMesh(e, memo))
        return err;
    if (const GSErrCode err = checkPicture(e, memo))
        return err;
    if (const GSErrCode err = checkDrawing(e, memo))
        return err;
    if (const GSErrCode err = checkText(e, memo))
        return err;
    return checkAttributes(e);
}

bool layerExists(API_AttributeIndex layer) {
    return host::detail::findAttribute(API_LayerID, layer) != nullptr;
}

bool layerLocked(API_AttributeIndex layer) {
    const API_Attribute* a = host::detail::findAttribute(API_LayerID, layer);
    return a != nullptr && (a->header.flags & APILay_Locked) != 0;
}

bool floorExists(short floor) {
    const auto& floors = state().project.floors;
    return std::any_of(floors.begin(), floors.end(),
                       [&](const auto& f) { return f.index == floor; });
}

// The defaults of an element type: the user's own where setElementDefaults gave them, else the
// template's.
API_Element defaultsOf(const API_ElemType& type) {
    const auto& own = state().userDefaults;
    if (const auto it = own.find(type.typeID); it != own.end()) {
        API_Element element = it->second;
        element.header.guid = APINULLGuid;
        return element;
    }
    API_Element element{};
    element.header.type = type;
    element.header.layer = 1;
    element.header.floorInd = state().project.activeFloor;
    element.text.size = 2.5;
    element.text.anchor = APIAnc_LB;
    element.slab.thickness = 0.3;
    element.hatch.fillInd = 1;
    element.morph.tranmat[0] = element.morph.tranmat[5] = element.morph.tranmat[10] = 1.0;
    return element;
}

GSErrCode needsUndoScope() {
    return state().commandDepth > 0 ? NoError : APIERR_NEEDSUNDOSCOPE;
}

}  // namespace

GSErrCode ACAPI_CallUndoableCommand(const GS::UniString& undoString,
                                    const std::function<GSErrCode()>& command) {
    if (const auto err = enter("ACAPI_CallUndoableCommand"))
        return *err;
    auto& s = state();
    if (!command)
        return APIERR_BADPARS;
    if (s.commandDepth > 0)
        return command();  // a nested command is part of the outer step
    host::detail::UndoStep step{undoString.ToUtf8(), s.project};
    ++s.commandDepth;
    GSErrCode result = APIERR_GENERAL;
    try {
        result = command();
    } catch (...) {
        --s.commandDepth;
        s.project = std::move(step.before);
        throw;
    }
    --s.commandDepth;
    if (result != NoError) {
        s.project = std::move(step.before);
    } else {
        s.undo.push_back(std::move(step));
        host::detail::projectChanged();
    }
    return result;
}

GSErrCode ACAPI_Element_Get(API_Element* element) {
    if (const auto err = enter("ACAPI_Element_Get"))
        return *err;
    if (element == nullptr)
        return APIERR_BADPARS;
    const StoredElement* stored = findElement(element->header.guid);
    if (stored == nullptr)
        return APIERR_BADID;
    *element = stored->element;
    return NoError;
}

GSErrCode ACAPI_Element_GetMemo(const API_Guid& guid, API_ElementMemo* memo, UInt64 mask) {
    if (const auto err = enter("ACAPI_Element_GetMemo"))
        return *err;
    if (memo == nullptr)
        return APIERR_BADPARS;
    *memo = API_ElementMemo{};
    const StoredElement* stored = findElement(guid);
    if (stored == nullptr)
        return APIERR_BADID;
    for (const auto& [field, bytes] : stored->memo) {
        if ((memoMaskOf(field) & mask) == 0)
            continue;
        const GSHandle copy = handleOf(bytes);
        setMemoHandle(*memo, field, copy);
        if (copy == nullptr) {
            ACAPI_DisposeElemMemoHdls(memo);
            return APIERR_MEMFULL;
        }
    }
    return NoError;
}

GSErrCode ACAPI_Element_GetElemList(const API_ElemType& type, GS::Array<API_Guid>* elemList,
                                    API_ElemFilterFlags filterBits, const API_Guid&) {
    if (const auto err = enter("ACAPI_Element_GetElemList"))
        return *err;
    if (elemList == nullptr)
        return APIERR_BADPARS;
    elemList->Clear();
    const auto& s = state();
    for (const auto& e : s.project.elements.all()) {
        const auto& head = e.element.header;
        if (type.typeID != API_ZombieElemID && head.type.typeID != type.typeID)
            continue;
        if ((filterBits & APIFilt_OnActFloor) != 0 && head.floorInd != s.project.activeFloor)
            continue;
        if ((filterBits & APIFilt_IsEditable) != 0 && layerLocked(head.layer))
            continue;
        elemList->Push(head.guid);
    }
    return NoError;
}

GSErrCode ACAPI_Element_GetDefaults(API_Element* element, API_ElementMemo* memo) {
    if (const auto err = enter("ACAPI_Element_GetDefaults"))
        return *err;
    if (element == nullptr)
        return APIERR_BADPARS;
    const API_ElemType type = element->header.type;
    if (!isKnownType(type.typeID))
        return APIERR_BADID;
    *element = defaultsOf(type);
    if (memo != nullptr)
        *memo = API_ElementMemo{};
    return NoError;
}

GSErrCode ACAPI_Element_Create(API_Element* element, API_ElementMemo* memo) {
    if (const auto err = enter("ACAPI_Element_Create"))
        return *err;
    if (element == nullptr)
        return APIERR_BADPARS;
    if (const GSErrCode err = needsUndoScope())
        return err;
    const auto& head = element->header;
    if (!isKnownType(head.type.typeID))
        return APIERR_BADID;
    if (!layerExists(head.layer))
        return APIERR_BADINDEX;
    if (layerLocked(head.layer))
        return APIERR_LAYERLOCKED;
    if (!floorExists(head.floorInd))
        return APIERR_BADINDEX;
    if (const GSErrCode err = checkMemo(*element, memo))
        return err;

    StoredElement stored{*element, {}, {}};
    stored.element.header.guid = GSGuid2APIGuid(GS::Guid::Generate());
    if (memo != nullptr) {
        for (std::size_t field = 0; field < kMemoFieldCount; ++field) {
            const GSHandle h = memoHandle(*memo, field);
            if (h != nullptr)
                stored.memo[field] = bytesOf(h);
        }
    }
    stored.element.header.hasMemo = !stored.memo.empty();
    element->header.guid = stored.element.header.guid;
    auto& s = state();
    if (s.openDrawing)
        s.openDrawing->elements.push_back(std::move(stored));
    else
        s.project.elements.add(std::move(stored));
    return NoError;
}

GSErrCode ACAPI_Element_Delete(const GS::Array<API_Guid>& elemGuids) {
    if (const auto err = enter("ACAPI_Element_Delete"))
        return *err;
    if (const GSErrCode err = needsUndoScope())
        return err;
    for (const auto& guid : elemGuids) {
        const StoredElement* e = findElement(guid);
        if (e == nullptr)
            return APIERR_BADID;
        if (layerLocked(e->element.header.layer))
            return APIERR_LAYERLOCKED;
    }
    const std::unordered_set<API_Guid> doomed(elemGuids.begin(), elemGuids.end());
    auto& project = state().project;
    project.elements.remove(doomed);
    std::erase_if(project.selection, [&](const API_Guid& g) { return doomed.count(g) > 0; });
    return NoError;
}

GSErrCode ACAPI_Element_ChangeElementInfoString(const API_Guid* elemGuid,
                                                const GS::UniString* infoString) {
    if (const auto err = enter("ACAPI_Element_ChangeElementInfoString"))
        return *err;
    if (elemGuid == nullptr || infoString == nullptr)
        return APIERR_BADPARS;
    if (const GSErrCode err = needsUndoScope())
        return err;
    StoredElement* e = findElement(*elemGuid);
    if (e == nullptr)
        return APIERR_BADID;
    e->infoString = infoString->ToUtf8();
    return NoError;
}

GSErrCode ACAPI_Element_GetElementInfoString(const API_Guid* elemGuid, GS::UniString* infoString) {
    if (const auto err = enter("ACAPI_Element_GetElementInfoString"))
        return *err;
    if (elemGuid == nullptr || infoString == nullptr)
        return APIERR_BADPARS;
    const StoredElement* e = findElement(*elemGuid);
    if (e == nullptr)
        return APIERR_BADID;
    *infoString = GS::UniString(e->infoString);
    return NoError;
}

GSErrCode ACAPI_DisposeElemMemoHdls(API_ElementMemo* memo) {
    if (const auto err = enter("ACAPI_DisposeElemMemoHdls"))
        return *err;
    if (memo == nullptr)
        return APIERR_BADPARS;
    for (std::size_t field = 0; field < kMemoFieldCount; ++field) {
        GSHandle h = memoHandle(*memo, field);
        BMKillHandle(&h);
        setMemoHandle(*memo, field, nullptr);
    }
    return NoError;
}

GSErrCode ACAPI_Selection_Get(API_SelectionInfo* selectionInfo, GS::Array<API_Neig>* selNeigs,
                              bool onlyEditable, bool, API_SelRelativePosID) {
    if (const auto err = enter("ACAPI_Selection_Get"))
        return *err;
    if (selectionInfo == nullptr)
        return APIERR_BADPARS;
    *selectionInfo = API_SelectionInfo{};
    if (selNeigs != nullptr)
        selNeigs->Clear();
    Int32 count = 0;
    for (const auto& guid : state().project.selection) {
        const StoredElement* e = findElement(guid);
        if (e == nullptr)
            continue;
        const bool editable = !layerLocked(e->element.header.layer);
        if (onlyEditable && !editable)
            continue;
        API_Neig neig(guid);
        neig.neigID = static_cast<API_NeigID>(e->element.header.type.typeID);
        if (selNeigs != nullptr)
            selNeigs->Push(neig);
        ++count;
        if (editable)
            ++selectionInfo->sel_nElemEdit;
    }
    selectionInfo->sel_nElem = count;
    selectionInfo->typeID = count > 0 ? API_SelElems : API_SelEmpty;
    return count > 0 ? NoError : APIERR_NOSEL;
}
