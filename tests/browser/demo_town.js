// The whole road in the demo area, page to project, in headless Chromium: terraweft-host --serve
// --demo answers every request of the add-on from its generated town. The map page opens on the
// town; the user frames it, fetches every kind the page offers and places them; the project holds
// per layer what "placeDone" counts, the plan and 3D views show it (roofs in 3D), and the user's
// Undo empties the project and the views again. The point-cloud page downloads the town's LiDAR
// sheet into an E57 file, which web-e57 reads back.
//   node tests/browser/demo_town.js PAGE_URL PROFILE_DIR ARTIFACTS_DIR
// with TW_HOST_COMMANDS and TW_HOST_OUTPUT (the program's standard input and output) set, as
// tests/browser/run.sh does; the other pages' addresses are read from the program's first lines.
// Prints one line per check and a closing "N passed, M failed"; exits 1 on any failure.
"use strict";

const fs = require("fs");
const path = require("path");
const { execFileSync } = require("child_process");
const {
  answerTimeoutMs, check, expect, failures, openMapPage, programEvents, run, worldPixel,
} = require("./harness");
const { expectShown, openView, sceneCounts, viewAddresses } = require("./views");

const [pageUrl, profileDir, artifactsDir] = process.argv.slice(2);
const fetchTimeoutMs = 180000;
const viewport = { width: 1280, height: 860 };

// The demo town (its README section): Dynow, within 160 m east and west and 130 m north and
// south of the project's survey point; the frame takes 15 m more on every side.
const town = { lat: 49.815, lon: 22.234, halfWidth: 175, halfHeight: 145 };
// What a fetch of every kind brings, by the keys of its counts: everything but the 1:500 map,
// which the town's county does not publish; contours 2D and 3D are counted together.
const fetchedKinds = [
  "budynki", "budynki3d", "budynkilod2", "budynkindsm", "budynkirekon", "dachychmura", "drogi",
  "dzialki", "gesut (rastr)", "mosty", "mpzp (rastr)", "pog", "poziomice (warstwice)",
  "poziomice z chmury (warstwice)", "rastry (rastr)", "teren (Siatka)", "teren z chmury (Siatka)",
  "woda z chmury (Siatka)",
];
const missingWarning = "BDOT500: powiat nie publikuje uslugi w EZiU.";
// Layers that hold roofs, as morphs.
const roofLayers = ["GIS_BUDYNKI_LOD2", "GIS_BUDYNKI_LOD2_CHMURA", "GIS_BUDYNKI_LOD2_REKON",
  "GIS_BUDYNKI_NMPT"];

function text(page, selector) {
  return page.locator(selector).textContent();
}

async function dumpedProject(commands = []) {
  const events = await programEvents(commands.concat([{ cmd: "dump" }]));
  return events[events.length - 1].project;
}

// Degrees of latitude and longitude in a metre at a latitude (WGS84, to a part in ten thousand).
function degreesPerMetre(lat) {
  const phi = (lat * Math.PI) / 180;
  return {
    lat: 1 / (111132.95 - 559.82 * Math.cos(2 * phi) + 1.18 * Math.cos(4 * phi)),
    lon: 1 / (111412.84 * Math.cos(phi) - 93.5 * Math.cos(3 * phi)),
  };
}

// Drags a frame over the town from its north-west corner to its south-east one, on the map
// centred on `centre` at `zoom`, after a click on the page's framing button.
async function frameTown(page, button, centre, zoom) {
  const box = await page.locator("#map").boundingBox();
  const middle = worldPixel(centre.lat, centre.lon, zoom);
  const per = degreesPerMetre(centre.lat);
  const pagePoint = (east, north) => {
    const p = worldPixel(centre.lat + north * per.lat, centre.lon + east * per.lon, zoom);
    return { x: box.x + box.width / 2 + p.x - middle.x, y: box.y + box.height / 2 + p.y - middle.y };
  };
  const from = pagePoint(-town.halfWidth, town.halfHeight);
  const to = pagePoint(town.halfWidth, -town.halfHeight);
  await page.click(button);
  await page.mouse.move(from.x, from.y);
  await page.mouse.down();
  await page.mouse.move(to.x, to.y, { steps: 8 });
  await page.mouse.up();
}

// The page's answer to "getInit": where the map opened.
async function mapOpening(page, events) {
  const mark = events.since();
  await page.evaluate(() => GISBridge.send({ type: "getInit" }));
  return events.waitFor("init", mark);
}

async function checkOpening(page, events) {
  const init = await mapOpening(page, events);
  expect(Math.abs(init.lat - town.lat) < 1e-6 && Math.abs(init.lon - town.lon) < 1e-6,
    "the map opens at " + init.lat + ", " + init.lon);
  await frameTown(page, ".draw-button", init, init.zoom);
  await page.locator("path.frame").waitFor({ state: "visible" });
  const info = await text(page, "#frame-info");
  const [, width, height] = /^Obszar: (\d+) x (\d+) m$/.exec(info) || [];
  expect(Math.abs(width - 2 * town.halfWidth) < 5 && Math.abs(height - 2 * town.halfHeight) < 5,
    "frame " + JSON.stringify(info));
}

// Every kind the page offers, fetched at once: each brings something but the one the county
// does not publish, whose warning comes; the preview shows the town inside the frame.
async function checkFetch(page, events) {
  const keys = await page.$$eval("#kinds input[type=checkbox]", (boxes) => boxes.map((b) => b.value));
  expect(keys.length === 20 && ["rastr", "poziomicechmura", "dachychmura"].every((k) =>
    keys.includes(k)), "the page offers " + JSON.stringify(keys));
  for (const key of keys) await page.check("#kinds input[value='" + key + "']");
  const mark = events.since();
  const started = Date.now();
  await page.click("#fetch");
  const done = await events.waitFor("fetchDone", mark, fetchTimeoutMs);
  console.log("     fetch of every kind: " + ((Date.now() - started) / 1000).toFixed(1) + " s");
  const brought = Object.keys(done.counts).filter((key) => done.counts[key] > 0);
  expect(JSON.stringify(brought.sort()) === JSON.stringify(fetchedKinds),
    "fetched " + JSON.stringify(done.counts));
  expect((done.warning || "").includes(missingWarning), "warning " + JSON.stringify(done.warning));
  const features = JSON.parse(done.geojson).features.length;
  const drawn = await page.locator("path.preview").count();
  expect(features > 100 && drawn === features, drawn + " of " + features + " features drawn");
  // The parcels and buildings lie inside the frame (the plan's zones reach past it).
  const outside = await page.evaluate(() => {
    const frame = document.querySelector("path.frame").getBoundingClientRect();
    return [...document.querySelectorAll("path.preview-dzialka, path.preview-budynek")]
      .map((node) => node.getBoundingClientRect())
      .filter((r) => r.left < frame.left || r.top < frame.top || r.right > frame.right ||
        r.bottom > frame.bottom).length;
  });
  expect(outside === 0, outside + " parcels or buildings drawn outside the frame");
  await page.screenshot({ path: path.join(artifactsDir, "demo-map.png") });
}

// Elements of the project by layer name and host type.
function elementsByLayer(project) {
  const names = Object.fromEntries(project.layers.map((l) => [l.index, l.name]));
  const counts = {};
  for (const e of project.elements) {
    const layer = (counts[names[e.layer]] = counts[names[e.layer]] || {});
    layer[e.type] = (layer[e.type] || 0) + 1;
  }
  return counts;
}

// Where each count of "placeDone" goes: the layer and the host's element type (15 text, 18
// hatch, 20 polyline, 31 picture, 8 slab, 10 mesh, 45 morph); parcels and zones bring their
// labels beside them, one text each.
const placedAs = {
  dzialki: ["GIS_DZIALKI", 20], budynki: ["GIS_BUDYNKI", 18], pog: ["GIS_POG", 18],
  "mpzp (rastr)": ["GIS_MPZP", 31], "gesut (rastr)": ["GIS_GESUT", 31],
  "rastry (rastr)": ["GIS_RASTRY", 31], "teren (Siatka)": ["GIS_TEREN", 10],
  poziomice2d: ["GIS_POZIOMICE_2D", 20], "podpisy rzednych": ["GIS_POZIOMICE_2D", 15],
  poziomice3d: ["GIS_POZIOMICE_3D", 10], "teren z chmury (Siatka)": ["GIS_TEREN_CHMURA", 10],
  poziomicechmura3d: ["GIS_POZIOMICE_CHMURA_3D", 10],
  "woda z chmury (Siatka)": ["GIS_WODA_CHMURA", 10], budynki3d: ["GIS_BUDYNKI_3D", 8],
  budynkilod2: ["GIS_BUDYNKI_LOD2", 45], dachychmura: ["GIS_BUDYNKI_LOD2_CHMURA", 45],
  budynkindsm: ["GIS_BUDYNKI_NMPT", 45], budynkirekon: ["GIS_BUDYNKI_LOD2_REKON", 45],
  mosty: ["GIS_MOSTY", 45], drogi: ["GIS_DROGI", 45],
};
const labelled = { dzialki: "GIS_DZIALKI", pog: "GIS_POG" };

// What the project should hold per layer and type after a placement of these counts.
function expectedLayers(counts) {
  const layers = {};
  const add = (layer, type, count) => {
    layers[layer] = layers[layer] || {};
    layers[layer][type] = (layers[layer][type] || 0) + count;
  };
  for (const [key, count] of Object.entries(counts)) {
    expect(key in placedAs, "an unknown count " + key);
    add(...placedAs[key], count);
    if (key in labelled) add(labelled[key], 15, count);
  }
  return layers;
}

function sorted(layers) {
  return JSON.stringify(Object.keys(layers).sort().map((name) => [name, layers[name]]));
}

// "2. Wstaw do projektu": every fetched kind but the 2D contours from point clouds (their 3D mesh
// only is placed) comes into the project, as many elements per layer as "placeDone" counts.
async function checkPlace(page, events) {
  const mark = events.since();
  await page.click("#place");
  const placed = await events.waitFor("placeDone", mark, fetchTimeoutMs);
  const project = await dumpedProject();
  expect(sorted(elementsByLayer(project)) === sorted(expectedLayers(placed.counts)),
    "placed " + JSON.stringify(placed.counts) + ", the project holds " +
    JSON.stringify(elementsByLayer(project)));
  // Every layer of the table holds elements: no kind fetched was left out.
  const placedLayers = new Set(Object.values(placedAs).map(([layer]) => layer));
  expect(placedLayers.size === Object.keys(elementsByLayer(project)).length,
    "layers " + JSON.stringify(Object.keys(elementsByLayer(project))));
  await page.screenshot({ path: path.join(artifactsDir, "demo-map-placed.png") });
  return project;
}

// The layers of the 3D view that hold morphs, by name, with their triangles.
function morphTriangles(scene, project) {
  const names = Object.fromEntries(project.layers.map((l) => [l.index, l.name]));
  const triangles = {};
  for (const [layer, kinds] of Object.entries(scene.layers)) {
    if (kinds.morph) triangles[names[layer]] = kinds.morph.triangles;
  }
  return triangles;
}

// Comes closer to the middle of the 3D view with the mouse wheel, as the user does to see roofs.
async function closeUp(scene) {
  const box = await scene.locator("canvas").boundingBox();
  await scene.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
  for (let i = 0; i < 6; i++) await scene.mouse.wheel(0, -300);
  await scene.waitForTimeout(300);
}

// The plan and the 3D view show the placed town, roofs in 3D; after the user's Undo the project
// is empty and so are the views.
async function checkViewsAndUndo(context, views, project) {
  const plan = await openView(context, views.plan, fetchTimeoutMs);
  const scene = await openView(context, views.scene, fetchTimeoutMs);
  const revision = await expectShown(plan, scene, -1, project, fetchTimeoutMs);
  const triangles = morphTriangles(await sceneCounts(scene), project);
  expect(roofLayers.every((layer) => triangles[layer] > 0), "roofs " + JSON.stringify(triangles));
  await plan.screenshot({ path: path.join(artifactsDir, "demo-plan.png") });
  await scene.screenshot({ path: path.join(artifactsDir, "demo-3d.png") });
  await closeUp(scene);
  await scene.screenshot({ path: path.join(artifactsDir, "demo-3d-roofs.png") });

  const undone = await dumpedProject([{ cmd: "undo" }]);
  expect(undone.elements.length === 0 && undone.undoDepth === project.undoDepth - 1,
    "after the undo " + undone.elements.length + " elements, undo depth " + undone.undoDepth);
  await expectShown(plan, scene, revision, undone, fetchTimeoutMs);
  await plan.screenshot({ path: path.join(artifactsDir, "demo-plan-undone.png") });
  await scene.screenshot({ path: path.join(artifactsDir, "demo-3d-undone.png") });
}

function readE57(file) {
  const script = path.join(__dirname, "..", "cloud", "read_e57.mjs");
  return JSON.parse(execFileSync("node", [script, file], { encoding: "utf8" }).trim().split("\n").pop());
}

// The point-cloud page opens on the town too; dragging the town's frame selects no text of the
// page, and the frame downloads into an E57 file that web-e57 reads: the frame's points with
// their colours.
async function checkCloud(context, url) {
  const page = await context.newPage();
  page.on("pageerror", (e) => console.log("page error: " + e.message));
  await page.goto(url);
  const init = await page.evaluate(() => new Promise((resolve) => {
    GISBridge.on("init", resolve);
    GISBridge.send({ type: "getInit" });
  }));
  expect(Math.abs(init.lat - town.lat) < 1e-6 && Math.abs(init.lon - town.lon) < 1e-6,
    "the point-cloud map opens at " + init.lat + ", " + init.lon);
  await frameTown(page, "#frame", init, init.zoom);
  const selected = await page.evaluate(() => window.getSelection().toString());
  expect(selected === "", "the drag selected " + JSON.stringify(selected));
  await page.waitForFunction(() => /^Szacunek: /.test(document.getElementById("estimate")
    .textContent), null, { timeout: answerTimeoutMs });
  await page.click("#download");
  await page.waitForFunction(() => /^Chmura zapisana: /.test(document.getElementById("result")
    .textContent), null, { timeout: fetchTimeoutMs });
  const result = await text(page, "#result");
  const copy = (/^Chmura zapisana: (.*ostatnia_chmura\.e57) - /.exec(result) || [])[1];
  expect(copy && fs.existsSync(copy), "no copy in " + JSON.stringify(result));
  await page.screenshot({ path: path.join(artifactsDir, "demo-cloud.png") });
  // The frame's points about the survey point: the sheet covers the whole frame, whose box in
  // the planar systems is a little larger than it, as they are turned from true north; the river
  // below the survey point's ground, roofs well above it.
  const read = readE57(copy);
  const span = (axis) => read.max[axis] - read.min[axis];
  const covers = (axis, size) => span(axis) >= size - 1 && span(axis) < size * 1.1;
  expect(read.count > 100000 && covers(0, 2 * town.halfWidth) && covers(1, 2 * town.halfHeight),
    "web-e57 read " + JSON.stringify(read));
  expect(read.min[2] < -1 && read.max[2] > 10, "heights " + read.min[2] + " to " + read.max[2]);
  expect(read.colourSum.every((sum) => sum > 0), "colours " + JSON.stringify(read.colourSum));
  await page.close();
}

async function main() {
  expect(process.env.TW_HOST_COMMANDS && process.env.TW_HOST_OUTPUT,
    "TW_HOST_COMMANDS or TW_HOST_OUTPUT is not set: run tests/browser/run.sh");
  const views = viewAddresses();
  const { context, page, events } = await openMapPage(pageUrl, profileDir, viewport,
    [views.cloud, views.plan, views.scene]);
  try {
    await check("the map page opens on the demo town, which the user frames", () =>
      checkOpening(page, events));
    await check("every kind the page offers is fetched: each but the 1:500 map brings data, the " +
      "town's parcels and buildings drawn inside the frame", () => checkFetch(page, events));
    let project = null;
    await check('the placement brings as many elements per layer as "placeDone" counts',
      async () => {
        project = await checkPlace(page, events);
      });
    if (project) {
      await check("the plan and 3D views show the town, roofs in 3D, until the user's Undo " +
        "empties the project and them", () => checkViewsAndUndo(context, views, project));
    }
    await check("the point-cloud page opens on the town, framed without selecting text, and " +
      "downloads its LiDAR sheet into an E57 file that web-e57 reads",
    () => checkCloud(context, views.cloud));
  } finally {
    if (failures() > 0) await page.screenshot({ path: path.join(artifactsDir, "demo-failure.png") });
    await context.close();
  }
}

run(main);
