// The point-cloud page. The user frames an area on the map and picks a detail level; the page
// shows the add-on's estimate of the points and the file size, starts the download with a
// progress bar and a cancel button, and shows how it ended. Messages to the add-on go through
// the script object GIS (GIS.postMessage with one JSON text); the add-on answers and pushes
// events by calling GISBridge.receive with the message as an object.
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

  function element(id) {
    return document.getElementById(id);
  }

  var ui = {
    frame: element("frame"),
    detail: element("detail"),
    estimate: element("estimate"),
    download: element("download"),
    cancel: element("cancel"),
    progress: element("progress"),
    bar: element("bar"),
    label: element("label"),
    result: element("result"),
    origin: element("origin"),
    status: element("status")
  };

  function showStatus(text, isError) {
    ui.status.textContent = text;
    ui.status.className = isError ? "status error" : "status";
  }

  function showResult(text, kind) {
    ui.result.textContent = text;
    ui.result.className = kind ? "result " + kind : "result";
  }

  // Numbers as the user reads them: digits grouped by three, a decimal comma.
  function grouped(n) {
    return String(Math.round(n)).replace(/\B(?=(\d{3})+(?!\d))/g, " ");
  }
  function decimal(x, digits) {
    return x.toFixed(digits).replace(".", ",");
  }

  // ---- The map and the frame -------------------------------------------------------------------

  var map = L.map("map", { zoomControl: true }).setView([52.1, 19.4], 6);
  L.tileLayer("https://tile.openstreetmap.org/{z}/{x}/{y}.png", {
    maxZoom: 19,
    attribution: "&copy; autorzy OpenStreetMap"
  }).addTo(map);
  window.addEventListener("resize", function () {
    map.invalidateSize();
  });

  var frame = null;       // the framed area: an L.LatLngBounds
  var rectangle = null;   // its outline on the map
  var dragStart = null;   // where the drag of a new frame began

  function bboxWgs84() {
    return [frame.getWest(), frame.getSouth(), frame.getEast(), frame.getNorth()];
  }

  function drawFrame(bounds) {
    if (rectangle) rectangle.setBounds(bounds);
    else rectangle = L.rectangle(bounds, { color: "#2a7ae2", weight: 2, fillOpacity: 0.1 }).addTo(map);
  }

  function startFraming() {
    ui.frame.disabled = true;
    map.dragging.disable();
    L.DomUtil.addClass(map.getContainer(), "framing");
    showStatus("Przeciagnij prostokat na mapie.", false);
  }

  function endFraming() {
    dragStart = null;
    L.DomUtil.enableTextSelection();
    map.dragging.enable();
    L.DomUtil.removeClass(map.getContainer(), "framing");
    ui.frame.disabled = false;
  }

  // The drag draws the frame: it selects no text of the page (the zoom buttons' signs).
  map.on("mousedown", function (e) {
    if (!ui.frame.disabled || downloading) return;
    L.DomUtil.disableTextSelection();
    dragStart = e.latlng;
  });
  map.on("mousemove", function (e) {
    if (dragStart) drawFrame(L.latLngBounds(dragStart, e.latlng));
  });
  map.on("mouseup", function (e) {
    if (!dragStart) return;
    var bounds = L.latLngBounds(dragStart, e.latlng);
    endFraming();
    if (bounds.getNorth() === bounds.getSouth() || bounds.getEast() === bounds.getWest()) return;
    frame = bounds;
    drawFrame(frame);
    showStatus("Kadr zaznaczony.", false);
    askEstimate();
  });

  // ---- The estimate ----------------------------------------------------------------------------

  var estimating = false;  // "Szacowanie..." stands until the estimate or the refusal comes

  function askEstimate() {
    if (!frame) return;
    estimating = true;
    ui.estimate.textContent = "Szacowanie...";
    GISBridge.send({ type: "frameEstimate", bboxWgs84: bboxWgs84(), detail: ui.detail.value });
    ui.download.disabled = downloading;
  }

  GISBridge.on("estimateDone", function (m) {
    estimating = false;
    var text = "Szacunek: " + grouped(m.points) + " pkt, " + decimal(m.sizeMB, 1) + " MB" +
      " (gestosc " + decimal(m.density, 1) + " pkt/m2)";
    if (m.overLimit) text += ". Za duzo punktow - zmniejsz kadr lub obniz jakosc.";
    ui.estimate.textContent = text;
    ui.estimate.className = m.overLimit ? "estimate over" : "estimate";
  });

  ui.frame.addEventListener("click", startFraming);
  ui.detail.addEventListener("change", askEstimate);

  // ---- The download ----------------------------------------------------------------------------

  var downloading = false;
  var progressEvents = 0;  // of the running download; the first comes before its worker starts

  function setDownloading(on) {
    downloading = on;
    progressEvents = 0;
    ui.download.disabled = on || !frame;
    ui.cancel.hidden = !on;
    ui.cancel.disabled = false;
    ui.progress.hidden = !on;
    ui.frame.disabled = on;
    ui.detail.disabled = on;
  }

  function showProgress(pct, label) {
    ui.bar.style.width = Math.max(0, Math.min(100, pct)) + "%";
    ui.label.textContent = label + " (" + Math.round(pct) + "%)";
  }

  ui.download.addEventListener("click", function () {
    if (!frame || downloading) return;
    setDownloading(true);
    showResult("", "");
    showProgress(0, "Start");
    GISBridge.send({ type: "download", bboxWgs84: bboxWgs84(), detail: ui.detail.value });
  });

  ui.cancel.addEventListener("click", function () {
    ui.cancel.disabled = true;
    GISBridge.send({ type: "cancel" });
  });

  GISBridge.on("progress", function (m) {
    if (!downloading) return;
    progressEvents++;
    showProgress(m.pct, m.label);
  });
  GISBridge.on("cancelled", function () {
    if (downloading) ui.label.textContent = "Anulowanie...";
  });
  // A cloud written without part of the frame ("warning") is shown as a warning, not as success.
  GISBridge.on("downloadDone", function (m) {
    setDownloading(false);
    showResult(m.msg, !m.ok ? "error" : m.warning ? "warning" : "ok");
  });

  // ---- Project origin, start position, link check ----------------------------------------------

  ui.origin.addEventListener("click", function () {
    var centre = map.getCenter();
    GISBridge.send({ type: "setOrigin", lat: centre.lat, lon: centre.lng });
  });
  GISBridge.on("originSet", function (m) {
    showStatus("Georeferencja projektu: E=" + decimal(m.e, 2) + " N=" + decimal(m.n, 2), false);
  });
  GISBridge.on("init", function (m) {
    map.setView([m.lat, m.lon], m.zoom);
  });
  GISBridge.on("pong", function (m) {
    showStatus("Chmura punktow (kompilacja " + m.build + ")", false);
  });
  GISBridge.on("error", function (m) {
    // A download that was refused or could not start sends nothing more.
    if (downloading && progressEvents <= 1) setDownloading(false);
    // A refused frame gets no estimate.
    if (estimating && !downloading) {
      estimating = false;
      ui.estimate.textContent = "";
    }
    showStatus(m.msg, true);
  });

  GISBridge.send({ type: "ping" });
  GISBridge.send({ type: "getInit" });
})();
