// The point-cloud page, for now a map frame that checks its link with the add-on: it sends
// "ping" through the script object GIS and shows the answer that arrives in GISBridge.receive.
(function () {
  "use strict";

  var status = document.getElementById("status");

  window.GISBridge = {
    receive: function (message) {
      if (!message) return;
      if (message.type === "pong") {
        status.textContent = "Chmura punktow (kompilacja " + message.build + ")";
        status.className = "status";
      } else if (message.type === "error") {
        status.textContent = message.msg;
        status.className = "status error";
      }
    }
  };

  // The host registers GIS asynchronously: wait for it before the first message.
  function ping() {
    if (window.GIS && typeof window.GIS.postMessage === "function") {
      window.GIS.postMessage(JSON.stringify({ type: "ping" }));
    } else {
      setTimeout(ping, 100);
    }
  }

  var map = L.map("map", { zoomControl: true }).setView([52.1, 19.4], 6);
  L.tileLayer("https://tile.openstreetmap.org/{z}/{x}/{y}.png", {
    maxZoom: 19,
    attribution: "&copy; autorzy OpenStreetMap"
  }).addTo(map);
  window.addEventListener("resize", function () {
    map.invalidateSize();
  });

  ping();
})();
