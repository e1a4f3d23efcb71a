#pragma once
// Records, constants and error codes of the host's add-on API (see ACAPinc.h for the calls).
// Records are plain aggregates: "API_Element element{};" is the all-zero record the calls expect.

#include <compare>
#include <cstddef>
#include <functional>

#include "GSRoot.h"

// ---- Error codes -------------------------------------------------------------------------------

inline constexpr GSErrCode APIERR_GENERAL = -2130313216;
inline constexpr GSErrCode APIERR_MEMFULL = -2130313215;
inline constexpr GSErrCode APIERR_CANCEL = -2130313214;
inline constexpr GSErrCode APIERR_BADID = -2130311;
inline constexpr GSErrCode APIERR_BADPARS = -2130313;
inline constexpr GSErrCode APIERR_BADINDEX = -2130315;
inline constexpr GSErrCode APIERR_BADNAME = -2130316;
inline constexpr GSErrCode APIERR_BADPOLY = -2130317;
inline constexpr GSErrCode APIERR_NAMEALREADYUSED = -2130318;
inline constexpr GSErrCode APIERR_NOSEL = -2130319;
inline constexpr GSErrCode APIERR_NEEDSUNDOSCOPE = -2130320;
inline constexpr GSErrCode APIERR_LAYERLOCKED = -2130321;
inline constexpr GSErrCode APIERR_REFUSEDCMD = -2130322;
inline constexpr GSErrCode APIERR_MENUEXIST = -2130323;
inline constexpr GSErrCode APIERR_NOTSUPPORTED = -2110145;

// ---- Identifiers and geometry ------------------------------------------------------------------

struct API_Guid {
    UInt32 time_low;
    UInt16 time_mid;
    UInt16 time_hi_and_version;
    UInt8 clock_seq_hi_and_reserved;
    UInt8 clock_seq_low;
    UInt8 node[6];

    friend bool operator==(const API_Guid&, const API_Guid&) = default;
    friend auto operator<=>(const API_Guid&, const API_Guid&) = default;
};

inline constexpr API_Guid APINULLGuid{};

API_Guid GSGuid2APIGuid(const GS::Guid& guid);
GS::Guid APIGuid2GSGuid(const API_Guid& guid);
// "{XXXXXXXX-XXXX-...}" text of an identifier, for messages and dumps.
GS::UniString APIGuidToString(const API_Guid& guid);
API_Guid APIGuidFromString(const char* text);

template <>
struct std::hash<API_Guid> {
    std::size_t operator()(const API_Guid& g) const noexcept;
};

using API_AttributeIndex = Int32;

struct API_Coord {
    double x;
    double y;
    friend bool operator==(const API_Coord&, const API_Coord&) = default;
};

struct API_Coord3D {
    double x;
    double y;
    double z;
    friend bool operator==(const API_Coord3D&, const API_Coord3D&) = default;
};

struct API_Box {
    double xMin;
    double yMin;
    double xMax;
    double yMax;
};

// An arc of a polygon: the edge between vertices begIndex and endIndex (1-based) bulges by
// arcAngle radians.
struct API_PolyArc {
    Int32 begIndex;
    Int32 endIndex;
    double arcAngle;
};

struct API_RGBColor {
    double f_red;
    double f_green;
    double f_blue;
};

// Counts of a polygon's memo arrays: coordinates (the closing one included), sub-polygon ends,
// arcs.
struct API_Polygon {
    Int32 nCoords;
    Int32 nSubPolys;
    Int32 nArcs;
};

// ---- Elements ----------------------------------------------------------------------------------

enum API_ElemTypeID : Int32 {
    API_ZombieElemID = 0,
    API_WallID = 1,
    API_SlabID = 8,
    API_MeshID = 10,
    API_TextID = 15,
    API_HatchID = 18,
    API_PolyLineID = 20,
    API_DrawingID = 30,
    API_PictureID = 31,
    API_MorphID = 45,
};

struct API_ElemType {
    API_ElemTypeID typeID = API_ZombieElemID;
    Int32 variationID = 0;

    API_ElemType() = default;
    API_ElemType(API_ElemTypeID id) : typeID(id) {}  // NOLINT: a type is named by its id
    friend bool operator==(const API_ElemType&, const API_ElemType&) = default;
};

struct API_Elem_Head {
    API_ElemType type;
    API_Guid guid;
    API_AttributeIndex layer;
    short floorInd;
    bool hasMemo;
};

struct API_PolyLineType {
    API_Polygon poly;
    API_AttributeIndex ltypeInd;
    short contPen;
};

enum API_TextAnchorID : Int32 {
    APIAnc_LT = 1,
    APIAnc_MT = 2,
    APIAnc_RT = 3,
    APIAnc_LM = 4,
    APIAnc_MM = 5,
    APIAnc_RM = 6,
    APIAnc_LB = 7,
    APIAnc_MB = 8,
    APIAnc_RB = 9,
};

struct API_TextType {
    API_Coord loc;  // anchor point
    double angle;   // radians
    double size;    // character height in millimetres
    API_TextAnchorID anchor;
    short pen;
    API_AttributeIndex font;
    bool nonBreaking;
};

// Which face of a slab its level gives.
enum API_SlabReferenceID : Int32 {
    APISlabRef_Top = 0,     // the slab hangs below its level
    APISlabRef_Bottom = 1,  // the slab stands on its level
};

struct API_SlabType {
    API_Polygon poly;
    double thickness;
    double level;  // height of the reference face above the slab's floor
    API_SlabReferenceID referencePlane;
    API_AttributeIndex buildingMaterial;
    API_AttributeIndex topMat;
    API_AttributeIndex sideMat;
    API_AttributeIndex botMat;
};

// How a mesh's surface passes through its level lines.
enum API_MeshLevelLineID : Int32 {
    APIMeshLevel_Smooth = 0,  // the surface bends smoothly through the level points
    APIMeshLevel_Ridge = 1,   // every level line is a sharp break of the surface
};

struct API_MeshType {
    API_Polygon poly;  // the outline; heights per vertex in the memo's meshPolyZ
    double level;
    API_MeshLevelLineID levelLines;
    double skirtLevel;
    API_AttributeIndex buildingMaterial;
    API_AttributeIndex topMat;
    API_AttributeIndex sideMat;
    API_AttributeIndex botMat;
};

// hatchFlags: the fill is drawn in ownColor instead of the fill pen's colour.
inline constexpr GSFlags APIHatch_OwnFillColor = 0x2;

struct API_HatchType {
    API_Polygon poly;
    API_AttributeIndex fillInd;
    short fillFgPen;
    short fillBgPen;  // 0: the fill's background is transparent
    short contPen;
    bool showArea;
    GSFlags hatchFlags;
    API_RGBColor ownColor;  // components 0 to 1
};

struct API_MorphType {
    double tranmat[12];  // 3 x 4 transformation of the body, row by row
    API_AttributeIndex buildingMaterial;
    API_AttributeIndex material;
};

// A picture: the image of the memo's pictHdl, an encoded file of the type mimeType names, shown
// in destBox turned by rotAngle (radians) about the box's lower-left corner. origBox is the part
// of the image's own extent that is shown; stretchToBox draws it over the whole destination box
// whatever its pixel size.
struct API_PictureType {
    API_Box destBox;
    API_Box origBox;
    double rotAngle;
    char pictName[256];
    char mimeType[64];  // "image/png" or "image/jpeg", zero-terminated
    bool stretchToBox;
};

// A drawing: 2D content gathered as drawing data (ACAPI_Drawing_StartDrawingData) shown in the
// plan. The content's own origin lands on pos; only what lies inside the clip polygon (poly, in
// the content's own coordinates, one closed ring in the memo's coords and pends) is shown. The
// drawing data itself is the memo's drawingData.
struct API_DrawingType {
    API_Polygon poly;
    API_Coord pos;
    char name[256];  // UTF-8, zero-terminated
};

// One element. Unlike the host's own union, each type's part is a member of its own, so every
// field is always addressable; only the part that header.type names is meaningful.
struct API_Element {
    API_Elem_Head header;
    API_PolyLineType polyLine;
    API_TextType text;
    API_SlabType slab;
    API_MeshType mesh;
    API_HatchType hatch;
    API_MorphType morph;
    API_PictureType picture;
    API_DrawingType drawing;
};

// A level point of a mesh: its position (z in project heights) and the host's vertex number.
struct API_MeshLevelCoord {
    API_Coord3D c;
    Int32 vertexID;
};
static_assert(sizeof(API_MeshLevelCoord) == 32);

// Variable-length data of an element, as memory handles (BM.h). Coordinate-like arrays are
// 1-based: entry 0 is unused. ACAPI_DisposeElemMemoHdls frees every handle set here.
struct API_ElementMemo {
    API_Coord** coords;
    Int32** pends;
    API_PolyArc** parcs;
    UInt32** vertexIDs;
    double** meshPolyZ;  // heights of the mesh outline's vertices, 1-based like coords
    API_MeshLevelCoord** meshLevelCoords;  // a mesh's level points, from entry 0
    Int32** meshLevelEnds;                 // per level line, the running count of its level points
    char** textContent;                    // UTF-8, zero-terminated
    GSHandle pictHdl;
    GSHandle morphBody;         // filled by ACAPI_Body_Finish
    GSHandle morphMaterialMap;  // filled by ACAPI_Body_Finish: the polygons' materials
    GSHandle drawingData;       // a drawing's content, as ACAPI_Drawing_StopDrawingData gave it
};

inline constexpr UInt64 APIMemoMask_Polygon =
    0x00000001;  // coords, pends, parcs, vertexIDs, meshPolyZ
inline constexpr UInt64 APIMemoMask_TextContent = 0x00000080;
inline constexpr UInt64 APIMemoMask_Picture = 0x00000100;
inline constexpr UInt64 APIMemoMask_MorphBody = 0x00000200;
inline constexpr UInt64 APIMemoMask_MeshLevel = 0x00000400;  // meshLevelCoords and meshLevelEnds
inline constexpr UInt64 APIMemoMask_DrawingData = 0x00000800;
inline constexpr UInt64 APIMemoMask_All = 0xFFFFFFFFFFFFFFFF;

using API_ElemFilterFlags = GSFlags;
inline constexpr API_ElemFilterFlags APIFilt_None = 0;
inline constexpr API_ElemFilterFlags APIFilt_IsEditable = 0x1;
inline constexpr API_ElemFilterFlags APIFilt_OnVisLayer = 0x2;
inline constexpr API_ElemFilterFlags APIFilt_OnActFloor = 0x4;

// ---- Drawing data ------------------------------------------------------------------------------

// A table of pen colours and widths for drawing data; the stand-in keeps none.
struct API_PenType;

// ---- Morph bodies ------------------------------------------------------------------------------

// An attribute that may or may not be given.
struct API_OverriddenAttribute {
    bool hasValue;
    API_AttributeIndex value;
};

// A body under construction (ACAPI_Body_Create to ACAPI_Body_Dispose); opaque to the add-on.
struct API_BodyBuilder;

// ---- Selection ---------------------------------------------------------------------------------

enum API_SelTypeID : Int32 {
    API_SelEmpty = 0,
    API_SelElems = 1,
    API_MarqueePoly = 2,
    API_MarqueeHorBox = 3
};

enum API_NeigID : Int32 {
    APINeig_None = 0,
    APINeig_Wall = 1,
    APINeig_Text = 15,
    APINeig_PolyLine = 20
};

struct API_Neig {
    API_NeigID neigID;
    API_Guid guid;
    Int32 inIndex;

    API_Neig() : neigID(APINeig_None), guid(APINULLGuid), inIndex(0) {}
    explicit API_Neig(const API_Guid& g) : neigID(APINeig_None), guid(g), inIndex(0) {}
    friend bool operator==(const API_Neig&, const API_Neig&) = default;
};

struct API_SelectionInfo {
    API_SelTypeID typeID;
    Int32 sel_nElem;
    Int32 sel_nElemEdit;
};

enum API_SelRelativePosID : Int32 {
    API_InsidePartially = 0,
    API_InsideEntirely = 1,
    API_Outside = 2
};

// ---- Attributes --------------------------------------------------------------------------------

enum API_AttrTypeID : Int32 {
    API_ZombieAttrID = 0,
    API_LayerID = 1,
    API_FilltypeID = 3,
    API_MaterialID = 5,
    API_BuildingMaterialID = 12,
};

struct API_Attr_Head {
    API_AttrTypeID typeID;
    API_AttributeIndex index;  // 0 is no attribute; the host numbers from 1
    char name[256];            // UTF-8, zero-terminated
    GSFlags flags;
};

inline constexpr GSFlags APILay_Hidden = 0x1;
inline constexpr GSFlags APILay_Locked = 0x2;

struct API_LayerType {
    Int32 conClassId;
};

enum API_MaterialTypeID : Int32 {
    APIMater_GeneralID = 0,
    APIMater_SimpleID = 1,
    APIMater_MatteID = 2
};

struct API_MaterialType {
    API_MaterialTypeID mtype;
    short ambientPc;
    short diffusePc;
    short specularPc;
    short transpPc;
    short shine;
    API_RGBColor surfaceRGB;
    API_RGBColor specularRGB;
};

enum API_FillSubtypeID : Int32 {
    APIFill_Vector = 0,
    APIFill_Symbol = 1,
    APIFill_Solid = 2,
    APIFill_Empty = 3
};

struct API_FilltypeType {
    API_FillSubtypeID subType;
};

struct API_BuildingMaterialType {
    API_AttributeIndex cutFill;
    API_AttributeIndex surface;
};

// One attribute; as with API_Element, each type's part is a member of its own.
struct API_Attribute {
    API_Attr_Head header;
    API_LayerType layer;
    API_MaterialType material;
    API_FilltypeType filltype;
    API_BuildingMaterialType buildingMaterial;
};

struct API_AttributeDefExt {
    Int32 unused;
};

// ---- Geo-location ------------------------------------------------------------------------------

// The texts of the projected coordinate system.
struct API_GeoReferenceData {
    GS::UniString name;  // coordinate-system name, e.g. "EPSG:2178"
    GS::UniString description;
    GS::UniString geodeticDatum;
    GS::UniString verticalDatum;
    GS::UniString mapProjection;
    GS::UniString mapZone;
    friend bool operator==(const API_GeoReferenceData&, const API_GeoReferenceData&) = default;
};

// Where the project lies on the globe.
struct API_ProjectLocation {
    double longitude;         // degrees
    double latitude;          // degrees
    double altitude;          // metres
    double north;             // direction of north, radians
    short timeZoneInMinutes;  // offset from UTC
    friend bool operator==(const API_ProjectLocation&, const API_ProjectLocation&) = default;
};

// The survey point: its project position and its place in the projected coordinate system.
struct API_SurveyPoint {
    API_Coord3D position;  // project coordinates, metres
    double eastings;
    double northings;
    double orthogonalHeight;
    double xAxisAbscissa;  // grid-north direction, x component
    double xAxisOrdinate;  // grid-north direction, y component
    double scale;
    API_GeoReferenceData geoReferenceData;
    friend bool operator==(const API_SurveyPoint&, const API_SurveyPoint&) = default;
};

struct API_GeoLocation {
    API_ProjectLocation placeInfo;
    API_SurveyPoint surveyPoint;
    friend bool operator==(const API_GeoLocation&, const API_GeoLocation&) = default;
};

// ---- Interface: menus, palettes, project events, environment -----------------------------------

struct API_MenuItemRef {
    short menuResID;
    short itemIndex;  // 1-based
};

struct API_MenuParams {
    API_MenuItemRef menuItemRef;
};

inline constexpr GSFlags API_MenuItemDisabled = 0x1;
inline constexpr GSFlags API_MenuItemChecked = 0x2;

enum APIMenuCodeID : Int32 { MenuCode_UserDef = 0 };

using APIMenuCommandProc = GSErrCode(const API_MenuParams* menuParams);

enum API_PaletteMessageID : Int32 {
    APIPalMsg_ClosePalette = 1,
    APIPalMsg_HidePalette_Begin = 2,
    APIPalMsg_HidePalette_End = 3,
    APIPalMsg_DisableItems_Begin = 4,
    APIPalMsg_DisableItems_End = 5,
    APIPalMsg_OpenPalette = 6,
    APIPalMsg_IsPaletteVisible = 7,
};

using APIPaletteControlCallBackProc = GSErrCode(Int32 referenceID, API_PaletteMessageID messageID,
                                                GS::IntPtr param);

enum API_NotifyEventID : Int32 {
    APINotify_New = 0x1,
    APINotify_Open = 0x4,
    APINotify_Close = 0x20,
    APINotify_Quit = 0x40,
};

using APIProjectEventHandlerProc = GSErrCode(API_NotifyEventID notifID, Int32 param);

enum API_AddonType : Int32 { APIAddon_DontRegister = 0, APIAddon_Normal = 2, APIAddon_Preload = 3 };

struct API_AddOnInfo {
    GS::UniString name;
    GS::UniString description;
};

struct API_EnvirParams {
    API_AddOnInfo addOnInfo;
};
