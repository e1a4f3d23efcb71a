#include "geodata/NmptClient.h"

namespace {

constexpr sheetindex::Layer kIndex{
    "/wss/service/PZGIK/NumerycznyModelPokryciaTerenuEVRF2007/WFS/Skorowidze",
    "gugik:SkorowidzNMPT", 2019, 2018};

}  // namespace

NmptClient::NmptClient(WfsClient& client) : IndexClient(client, kIndex) {}
