// The map page of the TERRAWEFT palette. Messages to the add-on go through the script object
// GIS (GIS.postMessage with one JSON text); the add-on answers and pushes events by calling
// GISBridge.receive with the message as an object.
//
// The user frames an area on the map, picks the kinds of data, fetches them (progress, preview,
// counts and warnings come back as events), then places them into the project.
(function () {
  "use strict";

  // ---- The channel to the add-on ------------------------------------------------------------

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

  function byId(id) {
    return document.getElementById(id);
  }

  function element(tag, className, text) {
    var node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined) node.textContent = text;
    return node;
  }

  // ---- Kinds of data and their layers -------------------------------------------------------

  // The page's request keys. Each kind lists the layer-mapping keys it places onto, with their
  // labels; roofs from point clouds always go to one fixed layer.
  function kind(key, label, layers) {
    return { key: key, label: label, layers: layers || [[key, label]] };
  }

  var KIND_GROUPS = [
    { title: "Ewidencja i planowanie", kinds: [
      kind("dzialki", "Dzialki ewidencyjne"),
      kind("budynki", "Budynki (ewidencja)"),
      kind("mpzp", "Plany miejscowe (MPZP)"),
      kind("pog", "Plan ogolny gminy (POG)"),
      kind("gesut", "Sieci uzbrojenia terenu")
    ] },
    { title: "Mapy", kinds: [
      kind("bdot500", "Mapa zasadnicza 1:500"),
      kind("rastr", "Ortofotomapa", [["rastry", "Ortofotomapa"]])
    ] },
    { title: "Teren i poziomice", kinds: [
      kind("teren", "Teren (NMT)"),
      kind("poziomice2d", "Poziomice 2D"),
      kind("poziomice3d", "Poziomice 3D")
    ] },
    { title: "Budynki i obiekty 3D", kinds: [
      kind("budynki3d", "Budynki bryly (LoD1)"),
      kind("budynkilod2", "Budynki z dachami (LoD2)"),
      kind("budynkindsm", "Budynki z NMPT"),
      kind("mosty", "Mosty"),
      kind("drogi", "Drogi")
    ] },
    { title: "Z chmury punktow", kinds: [
      kind("terenchmura", "Teren z chmury"),
      kind("poziomicechmura", "Poziomice z chmury", [
        ["poziomicechmura2d", "Poziomice z chmury 2D"],
        ["poziomicechmura3d", "Poziomice z chmury 3D"]
      ]),
      kind("wodachmura", "Woda z chmury"),
      kind("dachychmura", "Dachy z chmury", []),
      kind("budynkirekon", "Budynki odtworzone z chmury (LoD2)")
    ] }
  ];
  var ROOFS_FROM_CLOUD_LAYER = "GIS_BUDYNKI_LOD2_CHMURA";

  var kindBoxes = [];   // [page key, checkbox] in the page's order
  var layerInputs = {}; // layer-mapping key -> input
  var labels = {};      // request and layer keys -> label, for the counts

  function buildKindList() {
    var host = byId("kinds");
    KIND_GROUPS.forEach(function (group) {
      host.appendChild(element("h3", "", group.title));
      var list = host.appendChild(element("div", "kinds"));
      group.kinds.forEach(function (k) {
        var label = list.appendChild(element("label", "check"));
        var box = label.appendChild(element("input"));
        box.type = "checkbox";
        box.value = k.key;
        label.appendChild(document.createTextNode(k.label));
        kindBoxes.push([k.key, box]);
        labels[k.key] = k.label;
      });
    });
  }

  function addLayerRow(host, key, label) {
    var row = host.appendChild(element("label", "layer"));
    row.appendChild(element("span", "", label));
    var input = row.appendChild(element("input"));
    input.type = "text";
    input.setAttribute("list", "project-layers");
    input.dataset.key = key;
    return input;
  }

  function buildLayerList() {
    var host = byId("layers");
    KIND_GROUPS.forEach(function (group) {
      group.kinds.forEach(function (k) {
        k.layers.forEach(function (pair) {
          var input = addLayerRow(host, pair[0], pair[1]);
          input.disabled = true; // until the add-on names the layers in use
          input.addEventListener("change", onLayerEdited);
          layerInputs[pair[0]] = input;
          labels[pair[0]] = pair[1];
        });
      });
    });
    var fixed = addLayerRow(host, "dachychmura", labels.dachychmura);
    fixed.value = ROOFS_FROM_CLOUD_LAYER;
    fixed.disabled = true;
  }

  function checkedKinds() {
    return kindBoxes.filter(function (pair) { return pair[1].checked; })
      .map(function (pair) { return pair[0]; });
  }

  // ---- Status, result and progress -----------------------------------------------------------

  function showStatus(text, isError) {
    var status = byId("status");
    status.textContent = text;
    status.className = isError ? "status error" : "status";
  }

  // Counts under their labels where the key is a kind's, as given otherwise.
  function showResult(title, counts, warning) {
    var result = byId("result");
    result.textContent = "";
    var keys = Object.keys(counts || {});
    result.appendChild(element("div", "result-title", keys.length ? title : title + " nic"));
    var list = result.appendChild(element("ul"));
    keys.forEach(function (key) {
      list.appendChild(element("li", "", (labels[key] || key) + ": " + counts[key]));
    });
    if (warning) result.appendChild(element("div", "warning", warning));
  }

  function showProgress(done, total, label, cancellable) {
    var bar = byId("progress-bar");
    if (total > 0) {
      bar.max = total;
      bar.value = Math.min(Math.max(done, 0), total);
    } else {
      bar.removeAttribute("value"); // an indeterminate bar
    }
    byId("progress-label").textContent = label + (total > 0 ? " (" + done + "/" + total + ")" : "");
    var cancel = byId("cancel");
    cancel.hidden = !cancellable;
    cancel.disabled = false;
  }

  // ---- The map --------------------------------------------------------------------------------

  var TILES = "https://tile.openstreetmap.org/{z}/{x}/{y}.png";
  var OSM_CREDIT =
    "&copy; <a href=\"https://www.openstreetmap.org/copyright\">autorzy OpenStreetMap</a>";

  var map = L.map("map", { zoomControl: true }).setView([52.1, 19.4], 6);

  function hasWebGL() {
    var canvas = document.createElement("canvas");
    return !!(canvas.getContext("webgl2") || canvas.getContext("webgl"));
  }

  // The base map: OpenStreetMap tiles through MapLibre, or plain Leaflet tiles where the browser
  // has no WebGL. Where the tiles cannot be reached the map's own plain background shows.
  function addBaseMap() {
    if (hasWebGL()) {
      L.maplibreGL({
        style: {
          version: 8,
          sources: { osm: { type: "raster", tiles: [TILES], tileSize: 256, maxzoom: 19 } },
          layers: [{ id: "osm", type: "raster", source: "osm" }]
        },
        // The layer's credit in the form the map library hands to Leaflet's attribution.
        attributionControl: { customAttribution: OSM_CREDIT }
      }).addTo(map);
    } else {
      L.tileLayer(TILES, { maxZoom: 19, attribution: OSM_CREDIT }).addTo(map);
    }
  }
  addBaseMap();

  new ResizeObserver(function () {
    map.invalidateSize();
  }).observe(byId("map"));

  // Links in the page (the map's credits) open in the system browser, not in the palette.
  document.addEventListener("click", function (event) {
    var link = event.target.closest && event.target.closest("a[href]");
    if (!link || !/^https?:\/\//.test(link.href)) return;
    event.preventDefault();
    GISBridge.send({ type: "openExternal", url: link.href });
  });

  var placeMarker = null;

  function goTo(lat, lon, label) {
    map.setView([lat, lon], 17);
    if (placeMarker) map.removeLayer(placeMarker);
    placeMarker = L.circleMarker([lat, lon], { radius: 6, color: "#c0392b", weight: 2 })
      .addTo(map);
    if (label) placeMarker.bindTooltip(label);
  }

  // ---- The framed area -----------------------------------------------------------------------

  var frame = null;      // the framed area as a rectangle on the map
  var drawing = false;   // the user is about to frame an area
  var dragStart = null;  // where the drag began
  var MIN_FRAME_PIXELS = 4;

  function frameInfo() {
    if (!frame) return "Obszar: nie zaznaczony - uzyj \"Zaznacz obszar\" na mapie.";
    var b = frame.getBounds();
    var width = map.distance(b.getSouthWest(), b.getSouthEast());
    var height = map.distance(b.getSouthWest(), b.getNorthWest());
    return "Obszar: " + Math.round(width) + " x " + Math.round(height) + " m";
  }

  function setFrame(bounds) {
    if (frame) {
      frame.setBounds(bounds);
    } else {
      frame = L.rectangle(bounds, {
        className: "frame", color: "#1565c0", weight: 2, dashArray: "6 4", fillOpacity: 0.05,
        interactive: false
      }).addTo(map);
    }
  }

  function setDrawing(on) {
    drawing = on;
    dragStart = null;
    if (on) {
      map.dragging.disable();
    } else {
      map.dragging.enable();
    }
    map.getContainer().classList.toggle("drawing", on);
    drawButton.classList.toggle("active", on);
    if (on) showStatus("Przeciagnij po mapie, aby zaznaczyc obszar.", false);
  }

  function tooSmall(a, b) {
    var p = map.latLngToContainerPoint(a);
    var q = map.latLngToContainerPoint(b);
    return Math.abs(p.x - q.x) < MIN_FRAME_PIXELS || Math.abs(p.y - q.y) < MIN_FRAME_PIXELS;
  }

  function finishDrag(latlng) {
    if (!dragStart) return;
    var start = dragStart;
    dragStart = null;
    if (tooSmall(start, latlng)) return; // a click: keep waiting for a drag
    setFrame(L.latLngBounds(start, latlng));
    setDrawing(false);
    byId("frame-info").textContent = frameInfo();
    showStatus("Zaznaczono obszar.", false);
  }

  map.on("mousedown", function (e) {
    if (drawing) dragStart = e.latlng;
  });
  map.on("mousemove", function (e) {
    if (dragStart && !tooSmall(dragStart, e.latlng)) setFrame(L.latLngBounds(dragStart, e.latlng));
  });
  map.on("mouseup", function (e) {
    finishDrag(e.latlng);
  });
  document.addEventListener("mouseup", function (e) {
    if (dragStart) finishDrag(map.mouseEventToLatLng(e));
  });
  document.addEventListener("keydown", function (e) {
    if (e.key === "Escape" && drawing) {
      setDrawing(false);
      showStatus("", false);
    }
  });

  var DrawControl = L.Control.extend({
    options: { position: "topright" },
    onAdd: function () {
      var button = element("button", "draw-button", "Zaznacz obszar");
      button.type = "button";
      L.DomEvent.disableClickPropagation(button);
      L.DomEvent.on(button, "click", function () {
        setDrawing(!drawing);
      });
      return button;
    }
  });
  var drawControl = new DrawControl().addTo(map);
  var drawButton = drawControl.getContainer();

  // ---- Fetch parameters ---------------------------------------------------------------------

  // Integer parameters within [min, max]; decimal ones above zero. A decimal comma is accepted.
  var PARAMS = [
    { key: "rasterScale", label: "Skala rastrow", integer: true, min: 100, max: 10000 },
    { key: "terrainStep", label: "Krok siatki terenu", integer: true, min: 1 },
    { key: "poziomiceCiecie", label: "Ciecie poziomic" },
    { key: "terenChmuraKrok", label: "Krok terenu z chmury" }
  ];

  function ruleText(param) {
    if (!param.integer) return "podaj liczbe wieksza od zera.";
    return param.max ? "podaj liczbe calkowita od " + param.min + " do " + param.max + "."
      : "podaj liczbe calkowita nie mniejsza niz " + param.min + ".";
  }

  function accepts(param, value) {
    if (!isFinite(value)) return false;
    if (!param.integer) return value > 0;
    return Number.isInteger(value) && value >= param.min && (!param.max || value <= param.max);
  }

  // Adds the parameters to the request; gives the error text of the first bad one, or "".
  function readParams(request) {
    for (var i = 0; i < PARAMS.length; i++) {
      var param = PARAMS[i];
      var text = byId(param.key).value.trim().replace(",", ".");
      var value = text === "" ? NaN : Number(text);
      if (!accepts(param, value)) return param.label + ": " + ruleText(param);
      request[param.key] = value;
    }
    request.poziomiceWygladz = byId("poziomiceWygladz").checked;
    return "";
  }

  // ---- Fetch, place and origin --------------------------------------------------------------

  // "requested": the fetch was sent and no progress came yet, so an error reply ends it;
  // "running": the add-on has started it, and only "fetchDone" ends it.
  var fetchState = "idle";
  var placePending = false;

  function updateButtons() {
    byId("fetch").disabled = fetchState !== "idle";
    byId("place").disabled = fetchState !== "idle" || placePending;
    byId("progress").hidden = fetchState === "idle";
  }

  function setFetchState(state) {
    fetchState = state;
    updateButtons();
  }

  function fetchRequest() {
    if (!frame) return "Najpierw zaznacz obszar na mapie (\"Zaznacz obszar\").";
    var layers = checkedKinds();
    if (!layers.length) return "Wybierz co najmniej jeden rodzaj danych.";
    var b = frame.getBounds();
    var request = {
      type: "fetch",
      bboxWgs84: [b.getWest(), b.getSouth(), b.getEast(), b.getNorth()],
      layers: layers
    };
    return readParams(request) || request;
  }

  byId("fetch").addEventListener("click", function () {
    var request = fetchRequest();
    if (typeof request === "string") {
      showStatus(request, true);
      return;
    }
    byId("result").textContent = "";
    showStatus("", false);
    setFetchState("requested");
    showProgress(0, 0, "Wysylanie zadania", false);
    GISBridge.send(request);
  });

  byId("cancel").addEventListener("click", function () {
    byId("cancel").disabled = true;
    GISBridge.send({ type: "cancel" });
  });

  byId("place").addEventListener("click", function () {
    placePending = true;
    updateButtons();
    showStatus("Wstawianie do projektu...", false);
    GISBridge.send({ type: "place" });
  });

  byId("set-origin").addEventListener("click", function () {
    var centre = map.getCenter().wrap();
    GISBridge.send({ type: "setOrigin", lat: centre.lat, lon: centre.lng });
  });

  var PREVIEW_COLOURS = {
    dzialka: "#e67e22", budynek: "#c0392b", mpzp: "#8e44ad", pog: "#16a085", gesut: "#2980b9"
  };

  function previewStyle(feature) {
    var kindName = (feature.properties && feature.properties._kind) || "inne";
    return {
      className: "preview preview-" + kindName,
      color: PREVIEW_COLOURS[kindName] || "#555",
      weight: 2,
      fillOpacity: 0.15,
      radius: 4
    };
  }

  // The preview only shows: its shapes take no clicks and show no pointer.
  var preview = L.geoJSON(null, {
    interactive: false,
    style: previewStyle,
    pointToLayer: function (feature, latlng) {
      return L.circleMarker(latlng, previewStyle(feature));
    }
  }).addTo(map);

  function showPreview(text) {
    preview.clearLayers();
    if (!text) return;
    try {
      preview.addData(JSON.parse(text));
    } catch (e) {
      showStatus("Nie mozna narysowac podgladu: " + e.message, true);
    }
  }

  GISBridge.on("progress", function (m) {
    setFetchState("running");
    showProgress(m.done, m.total, m.label || "", m.cancellable === true);
  });

  GISBridge.on("cancelled", function () {
    if (fetchState === "idle") return;
    byId("cancel").hidden = true;
    byId("progress-label").textContent = "Przerywanie pobierania...";
  });

  GISBridge.on("fetchDone", function (m) {
    setFetchState("idle");
    showPreview(m.geojson);
    showResult("Pobrano:", m.counts, m.warning);
    showStatus("Pobieranie zakonczone.", false);
  });

  GISBridge.on("placeDone", function (m) {
    placePending = false;
    updateButtons();
    showResult("Wstawiono do projektu:", m.counts, m.warning);
    showStatus("Wstawiono do projektu.", false);
  });

  GISBridge.on("originSet", function (m) {
    showStatus("Ustawiono lokalizacje projektu: E=" + Number(m.e).toFixed(2) + " N=" +
      Number(m.n).toFixed(2) + " (EPSG:" + m.epsg + ").", false);
  });

  // ---- Layer mapping ------------------------------------------------------------------------

  var mapping = {};

  function fillProjectLayers(names) {
    var list = byId("project-layers");
    list.textContent = "";
    (names || []).forEach(function (name) {
      var option = list.appendChild(element("option"));
      option.value = name;
    });
  }

  function onLayerEdited(event) {
    var input = event.target;
    var name = input.value.trim();
    if (!name) {
      input.value = mapping[input.dataset.key] || "";
      showStatus("Nazwa warstwy nie moze byc pusta.", true);
      return;
    }
    input.value = name;
    mapping[input.dataset.key] = name;
    GISBridge.send({ type: "settingsChanged", mapping: mapping });
    showStatus("Zapisano warstwe: " + name, false);
  }

  GISBridge.on("layerList", function (m) {
    fillProjectLayers(m.layers);
    mapping = {};
    Object.keys(layerInputs).forEach(function (key) {
      var name = m.mapping && m.mapping[key];
      if (typeof name !== "string") return;
      mapping[key] = name;
      layerInputs[key].value = name;
      layerInputs[key].disabled = false;
    });
  });

  byId("layers-section").addEventListener("toggle", function (event) {
    if (event.target.open) GISBridge.send({ type: "getLayers" });
  });

  // ---- Address search -----------------------------------------------------------------------

  var SUGGEST_DELAY_MS = 300;
  var MIN_SUGGEST_BYTES = 3;
  var suggestTimer = null;
  var lastSuggestQuery = ""; // suggestions of any other query are stale
  var searchInput = byId("search-input");
  var suggestions = byId("suggestions");

  function hideSuggestions() {
    suggestions.hidden = true;
    suggestions.textContent = "";
  }

  function askSuggestions() {
    var query = searchInput.value.trim();
    if (new TextEncoder().encode(query).length < MIN_SUGGEST_BYTES) {
      lastSuggestQuery = "";
      hideSuggestions();
      return;
    }
    if (query === lastSuggestQuery) return;
    lastSuggestQuery = query;
    GISBridge.send({ type: "searchAddressSuggest", query: query });
  }

  function hasPosition(item) {
    return item && typeof item.lat === "number" && typeof item.lon === "number" &&
      isFinite(item.lat) && isFinite(item.lon);
  }

  function choose(item) {
    searchInput.value = item.label || "";
    lastSuggestQuery = searchInput.value.trim();
    hideSuggestions();
    goTo(item.lat, item.lon, item.label);
  }

  searchInput.addEventListener("input", function () {
    clearTimeout(suggestTimer);
    suggestTimer = setTimeout(askSuggestions, SUGGEST_DELAY_MS);
  });

  searchInput.addEventListener("keydown", function (e) {
    if (e.key === "Escape") hideSuggestions();
    if (e.key === "ArrowDown" && !suggestions.hidden) {
      e.preventDefault();
      suggestions.querySelector("button").focus();
    }
  });

  byId("search").addEventListener("submit", function (e) {
    e.preventDefault();
    clearTimeout(suggestTimer);
    hideSuggestions();
    var query = searchInput.value.trim();
    if (query) GISBridge.send({ type: "searchAddress", query: query });
  });

  document.addEventListener("mousedown", function (e) {
    if (!byId("search").contains(e.target)) hideSuggestions();
  });

  GISBridge.on("addressSuggestions", function (m) {
    if (m.query !== lastSuggestQuery) return;
    hideSuggestions();
    (m.items || []).filter(hasPosition).forEach(function (item) {
      var button = suggestions.appendChild(element("li")).appendChild(
        element("button", "", item.label));
      button.type = "button";
      button.addEventListener("click", function () {
        choose(item);
      });
    });
    suggestions.hidden = !suggestions.children.length;
  });

  GISBridge.on("addressResults", function (m) {
    if (hasPosition(m)) {
      goTo(m.lat, m.lon, m.label);
      showStatus(m.label || "", false);
    } else {
      showStatus("Nie znaleziono adresu.", true);
    }
  });

  // ---- Start ----------------------------------------------------------------------------------

  GISBridge.on("init", function (m) {
    if (hasPosition(m)) map.setView([m.lat, m.lon], m.zoom || 17);
  });

  GISBridge.on("pong", function (m) {
    showStatus("TERRAWEFT " + m.wersja + " (kompilacja " + m.build + ")", false);
  });

  // Errors carry no request: one ends whatever still waits for a direct answer.
  GISBridge.on("error", function (m) {
    if (fetchState === "requested") setFetchState("idle");
    placePending = false;
    updateButtons();
    showStatus(m.msg, true);
  });

  buildKindList();
  buildLayerList();
  byId("frame-info").textContent = frameInfo();
  updateButtons();

  GISBridge.send({ type: "getLayers" });
  GISBridge.send({ type: "getInit" });
  GISBridge.send({ type: "ping" });
})();
