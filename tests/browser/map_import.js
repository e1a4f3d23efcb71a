// The import side of the map page in headless Chromium, served by terraweft-host --serve against
// the fake outside services of the built-in scenario: what the page sends when the user frames an
// area, picks kinds, edits layers and searches; whole fetches of the scenario's parcels and
// buildings, with the county's buildings, without them (the fallback) and cancelled; the origin
// set from the map, the placement into the program's project and its undo; and how the page shows
// the events the program pushes (progress, preview, counts, warnings, suggestions).
//   node tests/browser/map_import.js PAGE_URL PROFILE_DIR ARTIFACTS_DIR
// with TW_SCENARIO (the fakes' description: "bboxWgs84" west, south, east, north) and
// TW_FALLBACK_PAGE_URL (the map page of a program whose county lists no buildings),
// TW_HOST_COMMANDS and TW_HOST_OUTPUT (the program's standard input and output) set, as
// tests/browser/run.sh does. Prints one line per check and a closing "N passed, M failed"; exits
// 1 on any failure.
"use strict";

const path = require("path");
const {
  answerTimeoutMs, check, expect, failures, openMapPage, programEvents, run, worldPixel,
} = require("./harness");

const [pageUrl, profileDir, artifactsDir] = process.argv.slice(2);
const scenario = JSON.parse(process.env.TW_SCENARIO || "null");
const fallbackPageUrl = process.env.TW_FALLBACK_PAGE_URL;
const fetchTimeoutMs = 20000;

// The kinds the page requests, and the layer keys it maps (the program's data kinds).
const requestKeys = [
  "dzialki", "budynki", "mpzp", "pog", "gesut", "bdot500", "rastr", "teren", "poziomice2d",
  "poziomice3d", "budynki3d", "budynkilod2", "budynkindsm", "mosty", "drogi", "terenchmura",
  "poziomicechmura", "wodachmura", "dachychmura", "budynkirekon",
];
const layerKeys = [
  "dzialki", "budynki", "mpzp", "pog", "gesut", "bdot500", "teren", "rastry", "budynki3d",
  "poziomice2d", "poziomice3d", "budynkilod2", "budynkindsm", "mosty", "drogi", "terenchmura",
  "poziomicechmura2d", "poziomicechmura3d", "budynkirekon", "wodachmura",
];

// The map shows the scenario's frame whole at this zoom, centred on the frame's middle.
const frameZoom = 16;

function middleOf([west, south, east, north]) {
  return { lat: (south + north) / 2, lon: (west + east) / 2 };
}

// The area of the same middle whose sides are `share` of the sides of `wsen`.
function shrunk(wsen, share) {
  const middle = middleOf(wsen);
  const halfLon = ((wsen[2] - wsen[0]) * share) / 2;
  const halfLat = ((wsen[3] - wsen[1]) * share) / 2;
  return [middle.lon - halfLon, middle.lat - halfLat, middle.lon + halfLon, middle.lat + halfLat];
}

function push(page, message) {
  return page.evaluate((m) => GISBridge.receive(m), message);
}

function text(page, selector) {
  return page.locator(selector).textContent();
}

async function waitForText(page, selector, wanted) {
  try {
    await page.waitForFunction(
      ([selector, wanted]) => {
        const node = document.querySelector(selector);
        return node && node.textContent.includes(wanted);
      },
      [selector, wanted], { timeout: answerTimeoutMs });
  } catch (e) {
    throw new Error(selector + " reads " + JSON.stringify(await text(page, selector)) +
      ", not " + JSON.stringify(wanted));
  }
}

// The page's map centre, as "Ustaw lokalizacje projektu wg mapy" sends it.
async function sentCentre(page, sent) {
  const mark = sent.since();
  await page.click("#set-origin");
  return sent.waitFor("setOrigin", mark);
}

function expectNear(actual, wanted, tolerance, what) {
  expect(Math.abs(actual - wanted) <= tolerance, what + " " + actual + ", expected " + wanted);
}

async function expectNothingSent(sent, mark, type) {
  await new Promise((resolve) => setTimeout(resolve, 500));
  const found = sent.after(mark).filter((m) => m.type === type);
  expect(found.length === 0, "sent " + JSON.stringify(found));
}

async function dumpedProject() {
  const events = await programEvents([{ cmd: "dump" }]);
  return events[events.length - 1].project;
}

// Centres the map on the scenario's frame, as the program's "init" does.
function showScenario(page) {
  const middle = middleOf(scenario.bboxWgs84);
  return push(page, { type: "init", lat: middle.lat, lon: middle.lon, zoom: frameZoom });
}

// Frames the area west, south, east, north of the map that showScenario set, by dragging from
// its north-west corner to its south-east one; gives the frame's size line.
async function drawFrame(page, [west, south, east, north]) {
  const box = await page.locator("#map").boundingBox();
  const centre = middleOf(scenario.bboxWgs84);
  const middle = worldPixel(centre.lat, centre.lon, frameZoom);
  const pagePoint = (lat, lon) => {
    const p = worldPixel(lat, lon, frameZoom);
    return {
      x: box.x + box.width / 2 + p.x - middle.x,
      y: box.y + box.height / 2 + p.y - middle.y,
    };
  };
  const from = pagePoint(north, west);
  const to = pagePoint(south, east);
  await page.click(".draw-button");
  await page.mouse.move(from.x, from.y);
  await page.mouse.down();
  await page.mouse.move(to.x, to.y, { steps: 8 });
  await page.mouse.up();
  await page.locator("path.frame").waitFor({ state: "visible" });
  return text(page, "#frame-info");
}

// The well-formed request is caught before it reaches the program; the test answers it with
// the program's refusal, which frees the page.
async function checkFraming(page, sent) {
  await showScenario(page);
  let mark = sent.since();
  await page.click("#fetch");
  await waitForText(page, "#status", "Najpierw zaznacz obszar");

  const info = await drawFrame(page, scenario.bboxWgs84);
  expect(/^Obszar: \d+ x \d+ m$/.test(info), "frame info " + JSON.stringify(info));

  await page.click("#fetch");
  await waitForText(page, "#status", "Wybierz co najmniej jeden rodzaj");
  const chosen = ["dzialki", "budynki", "rastr", "poziomicechmura", "dachychmura"];
  for (const key of chosen) await page.check("#kinds input[value='" + key + "']");
  await page.click("#params summary");
  await page.fill("#rasterScale", "50");
  await page.click("#fetch");
  await waitForText(page, "#status", "Skala rastrow: podaj liczbe calkowita od 100 do 10000.");
  await expectNothingSent(sent, mark, "fetch");

  await page.fill("#rasterScale", "2000");
  await page.fill("#terrainStep", "2");
  await page.fill("#poziomiceCiecie", "0,5");
  await page.fill("#terenChmuraKrok", "1.5");
  await page.check("#poziomiceWygladz");
  const release = await standInForProgram(page, ["fetch"]);
  mark = sent.since();
  await page.click("#fetch");
  const fetch = await sent.waitFor("fetch", mark);

  const pixel = 360 / (256 * Math.pow(2, frameZoom));
  expect(fetch.bboxWgs84.length === 4, "bbox " + JSON.stringify(fetch.bboxWgs84));
  ["west", "south", "east", "north"].forEach((side, i) =>
    expectNear(fetch.bboxWgs84[i], scenario.bboxWgs84[i], 2 * pixel, side));
  expect(JSON.stringify(fetch.layers) === JSON.stringify(chosen), "layers " + fetch.layers);
  const params = {
    rasterScale: 2000, terrainStep: 2, poziomiceCiecie: 0.5, poziomiceWygladz: true,
    terenChmuraKrok: 1.5,
  };
  for (const [key, value] of Object.entries(params))
    expect(fetch[key] === value, key + " " + JSON.stringify(fetch[key]));

  // An error answer to the request frees the page.
  const refusal = "Trwa pobieranie danych - sprobuj za chwile";
  await push(page, { type: "error", msg: refusal });
  expect(await text(page, "#status") === refusal, "status");
  expect(await page.locator("#progress").isHidden(), "progress still shown");
  await expectButtons(page, true, true);
  await release();
}

// Ticks exactly the given kinds and fetches the framed area; gives the mark of `events` before
// the request.
async function startFetch(page, events, keys) {
  for (const key of requestKeys)
    await page.setChecked("#kinds input[value='" + key + "']", keys.includes(key));
  const mark = events.since();
  await page.click("#fetch");
  return mark;
}

// What the page received from the mark to the end of the fetch, "fetchDone" included.
async function fetchEvents(events, mark) {
  const done = await events.waitFor("fetchDone", mark, fetchTimeoutMs);
  const received = events.after(mark);
  return received.slice(0, received.indexOf(done) + 1);
}

function expectCounts(actual, wanted, what) {
  const same = Object.keys(actual).length === Object.keys(wanted).length &&
    Object.entries(wanted).every(([key, count]) => actual[key] === count);
  expect(same, what + " " + JSON.stringify(actual));
}

// The preview's shapes lie inside the frame, around its middle (the scenario's parcels are
// centred on the frames the test draws): the page draws them where they are.
async function expectPreviewInFrame(page) {
  const [frame, shapes] = await page.evaluate(() => {
    const edges = (r) => ({ left: r.left, top: r.top, right: r.right, bottom: r.bottom });
    const boxes = [...document.querySelectorAll("path.preview")].map((node) =>
      node.getBoundingClientRect());
    const around = {
      left: Math.min(...boxes.map((b) => b.left)),
      top: Math.min(...boxes.map((b) => b.top)),
      right: Math.max(...boxes.map((b) => b.right)),
      bottom: Math.max(...boxes.map((b) => b.bottom)),
    };
    return [edges(document.querySelector("path.frame").getBoundingClientRect()), around];
  });
  const inside = shapes.left >= frame.left && shapes.top >= frame.top &&
    shapes.right <= frame.right && shapes.bottom <= frame.bottom;
  expect(inside, "preview " + JSON.stringify(shapes) + " not inside " + JSON.stringify(frame));
  expectNear((shapes.left + shapes.right) / 2, (frame.left + frame.right) / 2, 3, "preview x");
  expectNear((shapes.top + shapes.bottom) / 2, (frame.top + frame.bottom) / 2, 3, "preview y");
}

// A fetch of parcels and buildings as the page received and shows it: progress of the request
// and of the parcels before "fetchDone", the counts under their labels, the warning or none, one
// preview shape per feature inside the frame, and the page free again.
async function expectFetched(page, received, counts, warning) {
  const done = received[received.length - 1];
  const labels = received.filter((m) => m.type === "progress").map((m) => m.label);
  expect(labels[0] === "Pobieranie warstw" && labels.includes("Import: dzialki"),
    "progress " + JSON.stringify(labels));
  expectCounts(done.counts, counts, "counts");
  expect(done.warning === warning, "warning " + JSON.stringify(done.warning));
  const features = JSON.parse(done.geojson).features.length;
  expect(features === counts.dzialki + counts.budynki, features + " features in the preview");

  const lines = await page.locator("#result li").allTextContents();
  const wantedLines = ["Dzialki ewidencyjne: " + counts.dzialki,
    "Budynki (ewidencja): " + counts.budynki];
  expect(JSON.stringify([...lines].sort()) === JSON.stringify(wantedLines.sort()),
    "shown " + JSON.stringify(lines));
  const shownWarnings = await page.locator("#result .warning").allTextContents();
  expect(JSON.stringify(shownWarnings) === JSON.stringify(warning ? [warning] : []),
    "warnings shown " + JSON.stringify(shownWarnings));
  for (const [kind, key] of [["dzialka", "dzialki"], ["budynek", "budynki"]]) {
    const count = await page.locator("path.preview-" + kind).count();
    expect(count === counts[key], count + " preview shapes of " + kind);
  }
  await expectPreviewInFrame(page);
  expect(await page.locator("#progress").isHidden(), "progress still shown");
  await expectButtons(page, true, true);
}

async function checkFetch(page, events) {
  const mark = await startFetch(page, events, ["dzialki", "budynki"]);
  expect(await page.locator("#progress").isVisible(), "no progress while the fetch runs");
  await expectButtons(page, false, false);
  await expectFetched(page, await fetchEvents(events, mark), { dzialki: 36, budynki: 36 });
  await page.screenshot({ path: path.join(artifactsDir, "map-import.png") });
}

// The same on a page of a program whose county lists no buildings.
async function checkFallback() {
  const { context, page, events } = await openMapPage(fallbackPageUrl, profileDir + "-fallback");
  try {
    await showScenario(page);
    await drawFrame(page, scenario.bboxWgs84);
    const mark = await startFetch(page, events, ["dzialki", "budynki"]);
    const warning = "Powiatowa usluga zwraca dzialki, ale nie filtruje budynkow po obszarze " +
      "(blad konfiguracji serwera powiatu - np. Zabrze). Budynki z BDOT10k NoweBudynki " +
      "(fallback - tylko nowe obiekty).";
    await expectFetched(page, await fetchEvents(events, mark), { dzialki: 36, budynki: 3 },
      warning);
    await page.screenshot({ path: path.join(artifactsDir, "map-import-fallback.png") });
  } finally {
    await context.close();
  }
}

// The parcels' and buildings' downloads stop before their next request: the page offers its
// cancel button while they run, and the test presses it. The fetch lasts over a second, as the
// program spaces its requests to one host by a second; the frame is new, so that the download
// cache of the first fetch answers none of them. A kind the cancel cut short is left out and its
// sentence says so; one whose last request was already under way arrives whole.
async function checkCancelledFetch(page, events) {
  await drawFrame(page, shrunk(scenario.bboxWgs84, 0.75));
  const mark = await startFetch(page, events, ["dzialki", "budynki"]);
  await page.locator("#cancel").waitFor({ state: "visible", timeout: fetchTimeoutMs });
  await page.click("#cancel");
  const received = await fetchEvents(events, mark);
  const types = received.map((m) => m.type);
  expect(types.includes("cancelled"), "no answer to cancel before the end: " + types);
  const done = received[received.length - 1];
  const warning = done.warning || "";
  for (const [kind, prefix] of [["dzialki", "Dzialki: "], ["budynki", "Budynki: "]]) {
    const cut = warning.includes(prefix + "przerwano przez uzytkownika.");
    expect(cut ? !(kind in done.counts) : done.counts[kind] === 36,
      kind + ": counts " + JSON.stringify(done.counts) + ", warning " + JSON.stringify(warning));
  }
  expect(await page.locator("#progress").isHidden(), "progress still shown");
}

// The map's centre becomes the project's origin, with the terrain's height there; what was
// fetched is placed into the project, which the user's Undo empties again.
async function checkOriginPlaceAndUndo(page, events) {
  let mark = events.since();
  await page.click("#set-origin");
  const origin = await events.waitFor("originSet", mark);
  await waitForText(page, "#status", "(EPSG:2178)");
  let project = await dumpedProject();
  for (let tries = 0; project.geoLocation.surveyPoint.orthogonalHeight === 0 && tries < 50; tries++)
    project = await dumpedProject();
  const geo = project.geoLocation;
  expect(geo.crs.name === "EPSG:" + origin.epsg && origin.epsg === 2178, "crs " + geo.crs.name);
  expect(geo.surveyPoint.eastings === origin.e && geo.surveyPoint.northings === origin.n,
    "survey point " + JSON.stringify(geo.surveyPoint));
  const [lat, lon] = scenario.centre;
  expectNear(geo.latitude, lat, 2e-5, "latitude");
  expectNear(geo.longitude, lon, 2e-5, "longitude");
  expectNear(geo.surveyPoint.orthogonalHeight, scenario.centreHeight, 0.1, "height");

  mark = events.since();
  await page.click("#place");
  const placed = await events.waitFor("placeDone", mark);
  expectCounts(placed.counts, { dzialki: 36, budynki: 36 }, "placed");
  await waitForText(page, ".result-title", "Wstawiono do projektu:");
  project = await dumpedProject();
  const types = {};
  for (const element of project.elements) types[element.type] = (types[element.type] || 0) + 1;
  expect(JSON.stringify(types) === '{"15":36,"18":36,"20":36}', "elements " + JSON.stringify(types));
  expect(project.layers.map((l) => l.name).join() === "Warstwa podstawowa,GIS_DZIALKI,GIS_BUDYNKI",
    "layers " + JSON.stringify(project.layers));
  await page.screenshot({ path: path.join(artifactsDir, "map-placed.png") });

  const undone = await programEvents([{ cmd: "undo" }, { cmd: "dump" }]);
  expect(undone.length === 1, "undo answered " + JSON.stringify(undone[0]));
  project = undone[0].project;
  expect(project.elements.length === 0 && project.layers.length === 1 && project.undoDepth === 0,
    "after undo " + JSON.stringify(project).slice(0, 300));
  expect(project.geoLocation.surveyPoint.orthogonalHeight === geo.surveyPoint.orthogonalHeight,
    "the origin stays");
}

const previewGeoJson = JSON.stringify({
  type: "FeatureCollection",
  features: [
    { type: "Feature", properties: { _kind: "dzialka", numer: "12/3" },
      geometry: { type: "Polygon", coordinates: [[[21.011, 52.229], [21.0125, 52.229],
        [21.0125, 52.2302], [21.011, 52.2302], [21.011, 52.229]]] } },
    { type: "Feature", properties: { _kind: "budynek" },
      geometry: { type: "MultiPolygon", coordinates: [[[[21.0115, 52.2295], [21.012, 52.2295],
        [21.012, 52.2299], [21.0115, 52.2299], [21.0115, 52.2295]]]] } },
    { type: "Feature", properties: { _kind: "gesut", rodzajSieci: "przewod_wodociagowy" },
      geometry: { type: "LineString", coordinates: [[21.0105, 52.2293], [21.0135, 52.2299]] } },
    { type: "Feature", properties: { _kind: "inne" },
      geometry: { type: "Point", coordinates: [21.0122, 52.2297] } },
  ],
});

async function expectButtons(page, fetchEnabled, placeEnabled) {
  expect(await page.locator("#fetch").isEnabled() === fetchEnabled, "fetch button state");
  expect(await page.locator("#place").isEnabled() === placeEnabled, "place button state");
}

async function checkProgressAndCancel(page, sent) {
  await push(page, { type: "progress", done: 0, total: 1, label: "Pobieranie warstw" });
  await page.locator("#progress").waitFor({ state: "visible" });
  await expectButtons(page, false, false);
  expect(await page.locator("#cancel").isHidden(), "cancel shown for a step that cannot stop");

  await push(page, {
    type: "progress", done: 3, total: 4, label: "Poziomice: liczenie warstwic", cancellable: true,
  });
  const bar = await page.evaluate(() => {
    const bar = document.getElementById("progress-bar");
    return [bar.value, bar.max];
  });
  expect(bar[0] === 3 && bar[1] === 4, "bar " + bar);
  expect(await text(page, "#progress-label") === "Poziomice: liczenie warstwic (3/4)",
    "progress label");
  const mark = sent.since();
  await page.click("#cancel");
  await sent.waitFor("cancel", mark);
  // Whatever the answer to "cancel", only "fetchDone" ends a fetch the program has started.
  await page.waitForTimeout(300);
  await expectButtons(page, false, false);
  await push(page, { type: "cancelled" });
  expect(await page.locator("#cancel").isHidden(), "cancel still shown");
  expect(await text(page, "#progress-label") === "Przerywanie pobierania...", "cancel label");
  await push(page, { type: "progress", done: 1, total: 2, label: "Import: dzialki" });
  expect(await page.locator("#cancel").isHidden(), "cancel shown again");
}

async function checkFetchDone(page) {
  const warning = "Budynki z BDOT10k NoweBudynki (fallback - tylko nowe obiekty).";
  await push(page, {
    type: "fetchDone", counts: { dzialki: 2, budynki: 1, "teren (Siatka)": 4 },
    geojson: previewGeoJson, warning,
  });
  expect(await page.locator("#progress").isHidden(), "progress still shown");
  await expectButtons(page, true, true);
  for (const kind of ["dzialka", "budynek", "gesut", "inne"]) {
    const count = await page.locator("path.preview-" + kind).count();
    expect(count === 1, count + " preview shapes of " + kind);
  }
  const lines = await page.locator("#result li").allTextContents();
  expect(JSON.stringify(lines) === JSON.stringify(
    ["Dzialki ewidencyjne: 2", "Budynki (ewidencja): 1", "teren (Siatka): 4"]),
    "counts " + JSON.stringify(lines));
  expect(await text(page, "#result .warning") === warning, "warning");
  await page.screenshot({ path: path.join(artifactsDir, "map-preview-kinds.png") });

  // The next fetch's preview replaces the last one, also when it holds nothing.
  await push(page, { type: "fetchDone", counts: {}, warning: "Nic nie pobrano dla tego obszaru." });
  expect(await page.locator("path.preview").count() === 0, "the old preview stayed");
  expect(await text(page, ".result-title") === "Pobrano: nic", "empty counts");
  expect(await text(page, "#result .warning") === "Nic nie pobrano dla tego obszaru.",
    "no-data warning");
}

async function checkLayerMapping(page, sent) {
  const boxes = await page.locator("#kinds input[type=checkbox]").evaluateAll(
    (nodes) => nodes.map((n) => n.value));
  expect(JSON.stringify([...boxes].sort()) === JSON.stringify([...requestKeys].sort()),
    "kinds " + boxes);

  let mark = sent.since();
  await page.click("#layers-section summary");
  await sent.waitFor("getLayers", mark);
  const mapping = Object.fromEntries(layerKeys.map((key) => [key, "GIS_" + key.toUpperCase()]));
  await push(page, { type: "layerList", layers: ["Warstwa 1", "GIS_DZIALKI"], mapping });
  for (const key of layerKeys) {
    const input = page.locator("#layers input[data-key='" + key + "']");
    expect(await input.isEnabled(), key + " not editable");
    expect(await input.inputValue() === mapping[key], key + " shows " + await input.inputValue());
  }
  const roofs = page.locator("#layers input[data-key='dachychmura']");
  expect(await roofs.isDisabled() && await roofs.inputValue() === "GIS_BUDYNKI_LOD2_CHMURA",
    "roofs from point clouds");
  expect(await page.locator("#project-layers option").count() === 2, "project layers");

  mark = sent.since();
  await page.fill("#layers input[data-key='rastry']", "  Orto 2024 ");
  await page.press("#layers input[data-key='rastry']", "Enter");
  const changed = await sent.waitFor("settingsChanged", mark);
  expect(Object.keys(changed.mapping).length === 20, "mapping of " + Object.keys(changed.mapping));
  for (const key of layerKeys) {
    const wanted = key === "rastry" ? "Orto 2024" : mapping[key];
    expect(changed.mapping[key] === wanted, key + " sent as " + changed.mapping[key]);
  }

  mark = sent.since();
  await page.fill("#layers input[data-key='dzialki']", "  ");
  await page.press("#layers input[data-key='dzialki']", "Enter");
  await waitForText(page, "#status", "Nazwa warstwy nie moze byc pusta.");
  expect(await page.inputValue("#layers input[data-key='dzialki']") === "GIS_DZIALKI",
    "the empty name stayed");
  await expectNothingSent(sent, mark, "settingsChanged");
}

async function checkAddressSearch(page, sent) {
  let mark = sent.since();
  await page.fill("#search-input", "");
  await page.type("#search-input", "Wa");
  await expectNothingSent(sent, mark, "searchAddressSuggest");
  await page.type("#search-input", "rsz");
  const asked = await sent.waitFor("searchAddressSuggest", mark);
  expect(asked.query === "Warsz", "asked " + JSON.stringify(asked));

  const items = [
    { lat: 52.2319, lon: 21.0067, label: "Warszawa, Srodmiescie" },
    { lat: "52", lon: 21, label: "bez liczb" },
    { lat: 52.1934, lon: 20.9301, label: "Warszawa, Wlochy" },
  ];
  await push(page, { type: "addressSuggestions", query: "War", items });
  expect(await page.locator("#suggestions").isHidden(), "a stale answer was shown");
  await push(page, { type: "addressSuggestions", query: "Warsz", items });
  const shown = await page.locator("#suggestions button").allTextContents();
  expect(JSON.stringify(shown) === '["Warszawa, Srodmiescie","Warszawa, Wlochy"]',
    "suggestions " + JSON.stringify(shown));
  await page.click("#suggestions button >> nth=1");
  expect(await page.locator("#suggestions").isHidden(), "suggestions stay open");
  expect(await page.inputValue("#search-input") === "Warszawa, Wlochy", "search text");
  let centre = await sentCentre(page, sent);
  expectNear(centre.lat, 52.1934, 1e-6, "lat");
  expectNear(centre.lon, 20.9301, 1e-6, "lon");

  mark = sent.since();
  await page.fill("#search-input", "Krakow, Rynek");
  await page.press("#search-input", "Enter");
  const search = await sent.waitFor("searchAddress", mark);
  expect(search.query === "Krakow, Rynek", "searched " + JSON.stringify(search));
  await push(page, { type: "addressResults" });
  await waitForText(page, "#status", "Nie znaleziono adresu.");
  await push(page, { type: "addressResults", lat: 50.0617, lon: 19.9373, label: "Rynek Glowny" });
  centre = await sentCentre(page, sent);
  expectNear(centre.lat, 50.0617, 1e-6, "lat");
  expectNear(centre.lon, 19.9373, 1e-6, "lon");
}

// From here on the program's answers to these messages are the test's own: the messages are
// recorded but do not reach the program, and the page waits for the answers the test pushes.
// Gives the function that hands the messages back to the program.
async function standInForProgram(page, types) {
  const patterns = types.map((type) => '"type":"' + type + '"');
  const calls = (url) => url.pathname.startsWith("/__terraweft/call");
  const answer = (route) => {
    const body = route.request().postData() || "";
    if (!patterns.some((p) => body.includes(p))) return route.continue();
    return route.fulfill({ contentType: "application/json", body: '{"ok":true,"value":true}' });
  };
  await page.route(calls, answer);
  return () => page.unroute(calls, answer);
}

async function checkPlaceAndOrigin(page, sent) {
  const mark = sent.since();
  await page.click("#place");
  await sent.waitFor("place", mark);
  expect(await page.locator("#place").isDisabled(), "a second click could place twice");
  await push(page, {
    type: "placeDone", counts: { dzialki: 2, "podpisy rzednych": 7 },
    warning: "Pominieto 1 wadliwych geometrii lub bryl.",
  });
  expect(await page.locator("#place").isEnabled(), "place stays disabled");
  const lines = await page.locator("#result li").allTextContents();
  expect(JSON.stringify(lines) === '["Dzialki ewidencyjne: 2","podpisy rzednych: 7"]',
    "placed " + JSON.stringify(lines));
  expect(await text(page, ".result-title") === "Wstawiono do projektu:", "title");

  await push(page, { type: "originSet", e: 7500123.456, n: 5789012.5, h: 0.0, epsg: 2178 });
  await waitForText(page, "#status", "E=7500123.46 N=5789012.50 (EPSG:2178)");
  const refusal = "Najpierw kliknij \"1. Pobierz elementy\".";
  await push(page, { type: "error", msg: refusal });
  expect(await text(page, "#status") === refusal, "error text");
}

// The palette's default size and a smaller one: nothing wider than the page, the map, the
// search and the actions in view, every kind reachable by scrolling.
async function checkSmallSizes(page) {
  for (const size of [{ width: 360, height: 540 }, { width: 260, height: 380 }]) {
    await page.setViewportSize(size);
    await page.waitForTimeout(200);
    const overflow = await page.evaluate(() =>
      ["html", "#controls", "#footer", "#search"].filter((s) => {
        const node = document.querySelector(s);
        return node.scrollWidth > node.clientWidth;
      }));
    expect(overflow.length === 0, size.width + " px: too wide: " + overflow);
    const map = await page.locator("#map").boundingBox();
    expect(map.height >= 100, size.width + " px: map " + map.height + " px high");
    for (const selector of ["#search-input", ".draw-button", "#fetch", "#place", "#set-origin"]) {
      const box = await page.locator(selector).boundingBox();
      expect(box && box.x >= 0 && box.x + box.width <= size.width &&
        box.y >= 0 && box.y + box.height <= size.height, size.width + " px: " + selector +
        " out of view " + JSON.stringify(box));
    }
    const last = page.locator("#kinds input[value='budynkirekon']");
    await last.scrollIntoViewIfNeeded();
    await last.click();
    expect(await last.isChecked(), size.width + " px: the last kind cannot be ticked");
    await last.click();
    await page.screenshot({ path: path.join(artifactsDir, "map-page-" + size.width + ".png") });
  }
}

async function main() {
  expect(scenario && fallbackPageUrl && process.env.TW_HOST_COMMANDS,
    "TW_SCENARIO, TW_FALLBACK_PAGE_URL or TW_HOST_COMMANDS is not set: run tests/browser/run.sh");
  const { context, page, sent, events } = await openMapPage(pageUrl, profileDir);

  await check("the page asks for the layers and the project's position when it loads",
    async () => {
      await sent.waitFor("getLayers", 0);
      await sent.waitFor("getInit", 0);
    });
  await check('a framed area and the chosen kinds make a well-formed "fetch"; bad input sends none',
    () => checkFraming(page, sent));
  await check("a fetch of parcels and buildings shows its progress, then the counts, no warning " +
    "and the preview inside the frame", () => checkFetch(page, events));
  await check("where the county lists no buildings, the new buildings come with their warning",
    () => checkFallback());
  await check('the origin from the map, then "2. Wstaw do projektu": the project holds what was ' +
    "fetched until the user's Undo", () => checkOriginPlaceAndUndo(page, events));
  await check('the cancel button during the downloads is answered while they run; the fetch ' +
    "ends with what the cancel left whole", () => checkCancelledFetch(page, events));
  await check("progress shows its bar and label, and the cancel button while the step can stop",
    () => checkProgressAndCancel(page, sent));
  await check('"fetchDone" draws the preview and shows the counts and the warning',
    () => checkFetchDone(page));
  await standInForProgram(page, [
    "getLayers", "settingsChanged", "searchAddressSuggest", "searchAddress", "setOrigin", "place",
  ]);
  await check('the layer mapping from "layerList" is editable and sent whole as "settingsChanged"',
    () => checkLayerMapping(page, sent));
  await check("suggestions follow the typed query; a chosen place or search hit centres the map",
    () => checkAddressSearch(page, sent));
  await check('"2. Wstaw do projektu" and the origin button show their answers',
    () => checkPlaceAndOrigin(page, sent));
  await check("the page stays usable at the palette's small sizes", () => checkSmallSizes(page));

  if (failures() > 0) await page.screenshot({ path: path.join(artifactsDir, "map-failure.png") });
  await context.close();
}

run(main);
