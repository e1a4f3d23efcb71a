#include "geodata/NmtClient.h"

namespace {

constexpr sheetindex::Layer kIndex{
    "/wss/service/PZGIK/NumerycznyModelTerenuEVRF2007/WFS/Skorowidze", "gugik:SkorowidzNMT", 2018,
    2017};

}  // namespace

NmtClient::NmtClient(WfsClient& client) : IndexClient(client, kIndex) {}
