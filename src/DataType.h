#pragma once
// The kinds of data the add-on imports. The values are fixed: they are stored in records
// (GisFeature::kind) and sent in counts; Settings::keyOf gives each one's text key.

#include <cstdint>

enum class DataType : std::int32_t {
    Dzialki = 0,             // "dzialki": cadastral parcels
    Budynki = 1,             // "budynki": cadastral buildings
    Mpzp = 2,                // "mpzp": local zoning plans
    Pog = 3,                 // "pog": general-plan zones
    Gesut = 4,               // "gesut": utility networks
    Bdot500 = 5,             // "bdot500": large-scale base map
    Teren = 6,               // "teren": terrain grid
    Rastry = 7,              // "rastry": map images
    Budynki3d = 8,           // "budynki3d": buildings as blocks (LoD1)
    Poziomice2d = 9,         // "poziomice2d": contour lines, 2D
    Poziomice3d = 10,        // "poziomice3d": contour lines, 3D
    BudynkiLod2 = 11,        // "budynkilod2": buildings with roofs (LoD2)
    BudynkiNdsm = 12,        // "budynkindsm": buildings from the normalised surface model
    Mosty = 13,              // "mosty": bridges
    Drogi = 14,              // "drogi": roads
    TerenChmura = 15,        // "terenchmura": terrain from point clouds
    PoziomiceChmura2d = 16,  // "poziomicechmura2d": contours from point clouds, 2D
    PoziomiceChmura3d = 17,  // "poziomicechmura3d": contours from point clouds, 3D
    BudynkiRekon = 18,       // "budynkirekon": buildings reconstructed from point clouds
    WodaChmura = 19,         // "wodachmura": water from point clouds
};

inline constexpr int kDataTypeCount = 20;
