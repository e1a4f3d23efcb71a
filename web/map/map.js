// The map page of the TERRAWEFT palette. Messages to the add-on go through the script object
// GIS (GIS.postMessage with one JSON text); the add-on answers and pushes events by calling
// GISBridge.receive with the message as an object.
(function () {
  "use strict";

  var listeners = {};
  var queue = [];

  function hostObject() {
    return window.GIS && typeof window.GIS.postMessage === "function" ? window.GIS : null;
  }

  // The host registers GIS asynchronously: messages sent before it exists wait in order.
  function flush() {
    var gis = hostObject();
    if (!gis) {
      setTimeout(flush, 100);
      return;
    }
    while (queue.length) gis.postMessage(queue.shift());
  }

  window.GISBridge = {
    send: function (message) {
      queue.push(JSON.stringify(message));
      flush();
    },
    on: function (type, handler) {
      (listeners[type] = listeners[type] || []).push(handler);
    },
    receive: function (message) {
      var handlers = (message && listeners[message.type]) || [];
      for (var i = 0; i < handlers.length; i++) handlers[i](message);
    }
  };

  var status = document.getElementById("status");
  function showStatus(text, isError) {
    status.textContent = text;
    status.className = isError ? "status error" : "status";
  }

  GISBridge.on("pong", function (m) {
    showStatus("TERRAWEFT " + m.wersja + " (kompilacja " + m.build + ")", false);
  });
  GISBridge.on("error", function (m) {
    showStatus(m.msg, true);
  });

  var map = L.map("map", { zoomControl: true }).setView([52.1, 19.4], 6);
  var attribution = "&copy; autorzy OpenStreetMap";
  var tiles = "https://tile.openstreetmap.org/{z}/{x}/{y}.png";
  try {
    L.maplibreGL({
      style: {
        version: 8,
        sources: { osm: { type: "raster", tiles: [tiles], tileSize: 256, maxzoom: 19 } },
        layers: [{ id: "osm", type: "raster", source: "osm" }]
      },
      attribution: attribution
    }).addTo(map);
  } catch (e) {
    // No WebGL in this browser control: plain raster tiles instead.
    L.tileLayer(tiles, { maxZoom: 19, attribution: attribution }).addTo(map);
  }
  window.addEventListener("resize", function () {
    map.invalidateSize();
  });

  GISBridge.send({ type: "ping" });
})();
