#pragma once
// The add-on's entry points, called by the host, and the handler of its menu 32500:
// 1 map palette, 2 point-cloud palette (each shown, or hidden when visible), 3 duplicate
// cleanup, 4 the maker's web site.

#include "APIdefs.h"

// The add-on's name and description from string list 32000; the add-on type 2.
API_AddonType CheckEnvironment(API_EnvirParams* envir);

// Registers menu 32500.
GSErrCode RegisterInterface();

// Installs the menu handler, then registers the map palette and the point-cloud palette as
// modeless windows; the first error stops the sequence and is returned.
GSErrCode Initialize();

// Releases nothing: each palette releases itself when the host quits.
GSErrCode FreeData();

// Acts on items 1 to 4 of menu 32500 and ignores everything else; always 0.
GSErrCode MenuCommandHandler(const API_MenuParams* menuParams);

// The maker's web site, opened by menu item 4.
inline constexpr const char* kMakerSite = "https://terraweft.pl";
