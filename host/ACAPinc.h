#pragma once
// The host's add-on API: the calls an add-on makes into the host. Every call returns an error
// code (0 = NoError) unless said otherwise, and must be made on the host's main thread; a call
// from any other thread is a fault (the stand-in stops the process, see HostTestApi.h).

#include <functional>

#include "APIdefs.h"
#include "BM.h"
#include "GSMessageLoop.h"
#include "GSRoot.h"
#include "RS.h"

// ---- Environment and interface -----------------------------------------------------------------

GSResModule ACAPI_GetOwnResModule();

// Registers menu menuStrResID (a string list of item texts in the add-on's resources).
GSErrCode ACAPI_MenuItem_RegisterMenu(short menuStrResID, short promptStrResID,
                                      APIMenuCodeID menuPosCode, GSFlags menuFlags);
GSErrCode ACAPI_MenuItem_InstallMenuHandler(short menuStrResID, APIMenuCommandProc* handlerProc);
GSErrCode ACAPI_MenuItem_GetMenuItemFlags(const API_MenuItemRef* menuItemRef, GSFlags* itemFlags);
GSErrCode ACAPI_MenuItem_SetMenuItemFlags(const API_MenuItemRef* menuItemRef, GSFlags* itemFlags);

GSErrCode ACAPI_RegisterModelessWindow(GS::IntPtr referenceID,
                                       APIPaletteControlCallBackProc* callBackProc,
                                       GSFlags controlFlags, const API_Guid& paletteGuid);
GSErrCode ACAPI_UnregisterModelessWindow(GS::IntPtr referenceID);

// Calls handlerProc for every project event whose bit is set in eventTypes. A handler installed
// again replaces its own earlier event set.
GSErrCode ACAPI_ProjectOperation_CatchProjectEvent(GSFlags eventTypes,
                                                   APIProjectEventHandlerProc* handlerProc);

GSErrCode ACAPI_KeepInMemory(bool keepIt);

// Appends one line to the report window; withDialog also shows it in an alert.
GSErrCode ACAPI_WriteReport(const GS::UniString& text, bool withDialog);

// ---- Undoable commands -------------------------------------------------------------------------

// Runs command at once as one undo step named undoString. A non-zero result undoes every model
// change of the step (elements, attributes) and is returned. Elements and attributes can only be
// created, changed or deleted inside a command (APIERR_NEEDSUNDOSCOPE otherwise).
GSErrCode ACAPI_CallUndoableCommand(const GS::UniString& undoString,
                                    const std::function<GSErrCode()>& command);

// ---- Elements ----------------------------------------------------------------------------------

// Fills element from header.guid.
GSErrCode ACAPI_Element_Get(API_Element* element);
GSErrCode ACAPI_Element_GetMemo(const API_Guid& guid, API_ElementMemo* memo,
                                UInt64 mask = APIMemoMask_All);
// Identifiers of the elements of a type (API_ZombieElemID: of every type), in creation order.
GSErrCode ACAPI_Element_GetElemList(const API_ElemType& type, GS::Array<API_Guid>* elemList,
                                    API_ElemFilterFlags filterBits = APIFilt_None,
                                    const API_Guid& renovationFilterGuid = APINULLGuid);
// Fills element (and memo when given) with the defaults of header.type.
GSErrCode ACAPI_Element_GetDefaults(API_Element* element, API_ElementMemo* memo);
// Creates the element; on success header.guid holds its identifier.
GSErrCode ACAPI_Element_Create(API_Element* element, API_ElementMemo* memo);
// Deletes all the elements or, on any error, none.
GSErrCode ACAPI_Element_Delete(const GS::Array<API_Guid>& elemGuids);
GSErrCode ACAPI_Element_ChangeElementInfoString(const API_Guid* elemGuid,
                                                const GS::UniString* infoString);
GSErrCode ACAPI_Element_GetElementInfoString(const API_Guid* elemGuid, GS::UniString* infoString);

// Frees every handle of memo and sets it to null.
GSErrCode ACAPI_DisposeElemMemoHdls(API_ElementMemo* memo);

// ---- Drawing data ------------------------------------------------------------------------------

// Opens drawing data at the scale (positive), drawn with the project's pens (penTable null; the
// stand-in takes no pen table of its own: APIERR_NOTSUPPORTED). Until it is stopped every element
// created goes into the drawing data instead of the project. Only one is open at a time
// (APIERR_REFUSEDCMD).
GSErrCode ACAPI_Drawing_StartDrawingData(double drawingScale, const API_PenType* penTable);
// Closes the drawing data (APIERR_REFUSEDCMD when none is open). When it holds elements,
// *drawingData becomes a new handle (the caller's, for a drawing's memo or to free) and
// *boundingBox their extent in the drawing's own coordinates; drawing data without elements gives
// a null handle and an empty box.
GSErrCode ACAPI_Drawing_StopDrawingData(GSHandle* drawingData, API_Box* boundingBox);

// ---- Morph bodies ------------------------------------------------------------------------------

// Opens an empty body (fromBody and bodyMaterial may be null). Vertices, edges and polygons are
// numbered from 1; a polygon lists signed edge indices in ring order, a negative index running
// the edge backwards. ACAPI_Body_Finish writes the body into a morph's memo handles;
// ACAPI_Body_Dispose frees the builder and sets it to null. ACAPI_Element_Create refuses a morph
// whose body has no polygon or a polygon whose edges do not form a closed ring.
GSErrCode ACAPI_Body_Create(const API_ElementMemo* fromBody,
                            const API_OverriddenAttribute* bodyMaterial, API_BodyBuilder** body);
GSErrCode ACAPI_Body_AddVertex(API_BodyBuilder* body, const API_Coord3D& coord, UInt32& index);
GSErrCode ACAPI_Body_AddEdge(API_BodyBuilder* body, UInt32 vertex1, UInt32 vertex2, Int32& index);
GSErrCode ACAPI_Body_AddPolygon(API_BodyBuilder* body, const GS::Array<Int32>& edges,
                                Int32 pgonNormal, const API_OverriddenAttribute& material,
                                UInt32& index);
GSErrCode ACAPI_Body_Finish(API_BodyBuilder* body, GSHandle* memoBody, GSHandle* memoMaterialMap);
GSErrCode ACAPI_Body_Dispose(API_BodyBuilder** body);

// ---- Selection ---------------------------------------------------------------------------------

// An empty selection gives typeID API_SelEmpty, no entries and APIERR_NOSEL.
GSErrCode ACAPI_Selection_Get(API_SelectionInfo* selectionInfo, GS::Array<API_Neig>* selNeigs,
                              bool onlyEditable, bool ignorePartialSelection = true,
                              API_SelRelativePosID relativePosToMarquee = API_InsidePartially);

// ---- Attributes --------------------------------------------------------------------------------

GSErrCode ACAPI_Attribute_GetAttributesByType(API_AttrTypeID typeID,
                                              GS::Array<API_Attribute>& attributes);
// Fills attribute from header.typeID and header.index.
GSErrCode ACAPI_Attribute_Get(API_Attribute* attribute);
// Creates the attribute named in header.name; on success header.index holds its index. A name
// already used by an attribute of the type gives APIERR_NAMEALREADYUSED.
GSErrCode ACAPI_Attribute_Create(API_Attribute* attribute, API_AttributeDefExt* defs);

// ---- Geo-location ------------------------------------------------------------------------------

GSErrCode ACAPI_GeoLocation_GetGeoLocation(API_GeoLocation* geoLocation);
GSErrCode ACAPI_GeoLocation_SetGeoLocation(const API_GeoLocation* geoLocation);
