// terraweft-host's own views of the project in headless Chromium: the plan (SVG) and the 3D view
// (three.js) follow the program's project through a change the add-on makes and the user's Undo
// without being reloaded, draw every kind of element of a made-up project where and as it
// belongs, and stay usable with a large one.
//   node tests/browser/project_views.js PLAN_URL PROFILE_DIR ARTIFACTS_DIR
// with TW_HOST_COMMANDS and TW_HOST_OUTPUT (the program's standard input and output) set, as
// tests/browser/run.sh does (a program of this file's own); the views' addresses are read from
// the program's first lines.
// Prints one line per check and a closing "N passed, M failed"; exits 1 on any failure.
"use strict";

const path = require("path");
const { check, expect, launch, programEvents, run } = require("./harness");
const {
  expectShown, openView, planCounts, same, sceneCounts, shownRevision, viewAddresses,
} = require("./views");

const [, profileDir, artifactsDir] = process.argv.slice(2);

// A PNG of 2 x 2 pixels, the image of the made-up project's picture.
const png = Buffer.from(
  "iVBORw0KGgoAAAANSUhEUgAAAAIAAAACCAIAAAD91JpzAAAAEklEQVR4nGP4z8DAwMDAwMAAAA0AAf9PqB7GAAAAAElFTkSuQmCC",
  "base64");

// ---- The program's project ------------------------------------------------------------------

// Two copies of a polyline and of a text, and one polyline more: what the duplicate cleanup of
// the add-on's menu takes away, and what it leaves.
const fixtures = [
  { cmd: "addPolyline", points: [[0, 0], [30, 0], [30, 20]] },
  { cmd: "addPolyline", points: [[0, 0], [30, 0], [30, 20]] },
  { cmd: "addPolyline", points: [[0, 10], [20, 25]], arcs: [[1, 2, 0.8]] },
  { cmd: "addText", loc: [5, 5], text: "Dzialka 12/3" },
  { cmd: "addText", loc: [5, 5], text: "Dzialka 12/3" },
  { cmd: "dump" },
];

async function lastProject(commands) {
  const events = await programEvents(commands);
  return events[events.length - 1].project;
}

// The views show what the project holds, and after the add-on's change and the user's Undo
// they show the project again without being reloaded.
async function checkFollowing(context, views) {
  const start = await lastProject([{ cmd: "dump" }]);
  const project = await lastProject(fixtures);
  expect(project.elements.length === start.elements.length + 5,
    "the project holds " + project.elements.length);
  const plan = await openView(context, views.plan);
  const scene = await openView(context, views.scene);
  const before = await expectShown(plan, scene, -1, project);
  await plan.screenshot({ path: path.join(artifactsDir, "plan-view.png") });

  const cleaned = await lastProject([{ cmd: "menu", menu: 32500, item: 3 }, { cmd: "dump" }]);
  expect(cleaned.elements.length === project.elements.length - 2 &&
    cleaned.undoDepth === project.undoDepth + 1,
  "after the cleanup " + cleaned.elements.length + " elements, undo depth " + cleaned.undoDepth);
  const afterCleanup = await expectShown(plan, scene, before, cleaned);
  await plan.screenshot({ path: path.join(artifactsDir, "plan-view-cleaned.png") });

  const undone = await lastProject([{ cmd: "undo" }, { cmd: "dump" }]);
  expect(undone.elements.length === project.elements.length,
    "after the undo " + undone.elements.length + " elements");
  await expectShown(plan, scene, afterCleanup, undone);
  await plan.close();
  await scene.close();
}

// ---- A made-up project -----------------------------------------------------------------------

const square = (x, y, side) => [[x, y], [x + side, y], [x + side, y + side], [x, y + side],
  [x, y]];

// One element of each kind the views draw (and a wall, which they do not), on three layers. The
// plan's drawing starts at the content's north-west corner (-20, 40) and its y runs down. The
// drawing's picture is wider than its frame, which cuts it.
function sampleProject() {
  const layers = [
    { index: 1, name: "Warstwa podstawowa", flags: 0 },
    { index: 2, name: "GIS_BUDYNKI", flags: 0 },
    { index: 3, name: "GIS_TEREN", flags: 0 },
  ];
  const hole = square(5, 5, 10);
  const elements = [
    { guid: "{00000000-0000-4000-8000-000000000001}", type: 31, layer: 1, floor: 0,
      mime: "image/png", bytes: png.length, destBox: [-20, 0, 0, 10], origBox: [0, 0, 2, 2],
      rotation: 0, stretch: true },
    { type: 20, layer: 2, floor: 0, coords: [[0, -10], [10, -10], [20, -10]],
      arcs: [[2, 3, Math.PI / 2]], pen: 1 },
    { type: 18, layer: 2, floor: 0, coords: square(0, 0, 20).concat(hole), pends: [5, 10],
      pens: { contour: 1, fill: 1, background: 0 }, fill: 1, ownColor: [1, 0, 0] },
    { type: 15, layer: 2, floor: 0, text: "Dzialka <12/3> & co", loc: [10, 10], pen: 1, size: 2,
      angle: Math.PI / 6, anchor: 5 },
    { type: 8, layer: 2, floor: 0, coords: square(30, 0, 10), pends: [5], level: 0, thickness: 3,
      reference: "bottom", buildingMaterial: 1 },
    { type: 8, layer: 2, floor: 0, coords: square(30, 20, 10), pends: [5], level: 6, thickness: 2,
      reference: "top", buildingMaterial: 1 },
    { type: 45, layer: 2, floor: 0, body: {
      vertices: [[50, 0, 0], [60, 0, 0], [60, 10, 0], [50, 10, 0], [55, 5, 8]],
      edges: [[1, 2], [2, 3], [3, 4], [4, 1], [1, 5], [2, 5], [3, 5], [4, 5]],
      polygons: [[-4, -3, -2, -1], [1, 6, -5], [2, 7, -6], [3, 8, -7], [4, 5, -8]],
      materials: [0, 0, 0, 0, 0] } },
    { type: 10, layer: 3, floor: 0, coords: square(0, 20, 20), pends: [5], z: [0, 0, 4, 4, 0],
      level: 0, levelLines: "smooth", levelPoints: [[10, 30, 6]], levelEnds: [1] },
    { type: 30, layer: 3, floor: 0, coords: square(0, 0, 10), pends: [5], name: "GIS rastr",
      pos: [65, 25], scale: 1, content: [
        { guid: "{00000000-0000-4000-8000-000000000002}", type: 31, layer: 3, floor: 0,
          mime: "image/png", bytes: png.length, destBox: [0, 0, 20, 10], origBox: [0, 0, 2, 2],
          rotation: 0, stretch: true },
      ] },
    { type: 1, layer: 2, floor: 0 },
  ];
  return { layers, materials: [], elements, selection: [], undoDepth: 1 };
}

// A project of many parcels with their numbers, buildings, terrain tiles and roofs, as a large
// placement brings them.
function largeProject(side) {
  const elements = [];
  for (let i = 0; i < side; i++) {
    for (let j = 0; j < side; j++) {
      const [x, y] = [i * 25, j * 25];
      elements.push({ type: 18, layer: 2, floor: 0, coords: square(x, y, 24), pends: [5],
        fill: 1, ownColor: [0.9, 0.8, 0.5] });
      elements.push({ type: 15, layer: 2, floor: 0, text: i + "/" + j, loc: [x + 12, y + 12],
        size: 1.5, angle: 0, anchor: 5 });
      elements.push({ type: 8, layer: 3, floor: 0, coords: square(x + 6, y + 6, 12), pends: [5],
        level: 0, thickness: 6, reference: "bottom" });
    }
  }
  const tile = (side * 25) / 5;
  for (let i = 0; i < 5; i++) {
    for (let j = 0; j < 5; j++) {
      const levelPoints = [];
      for (let k = 1; k < 20; k++) {
        for (let l = 1; l < 20; l++) {
          const [x, y] = [i * tile + (k * tile) / 20, j * tile + (l * tile) / 20];
          levelPoints.push([x, y, Math.sin(x / 40) + Math.cos(y / 50)]);
        }
      }
      elements.push({ type: 10, layer: 4, floor: 0, coords: square(i * tile, j * tile, tile),
        pends: [5], z: [0, 0, 0, 0, 0], level: 0, levelPoints });
    }
  }
  const layers = [2, 3, 4].map((index) => ({ index, name: "GIS_" + index, flags: 0 }));
  return { layers, materials: [], elements, selection: [], undoDepth: 1 };
}

// A view whose project is the given one in place of the program's (its picture too), in a
// browser with WebGL or, with `webgl` false, one that offers none.
async function openMadeUpView(context, url, project, webgl = true) {
  const page = await context.newPage();
  if (!webgl) {
    await page.addInitScript(() => {
      const getContext = HTMLCanvasElement.prototype.getContext;
      HTMLCanvasElement.prototype.getContext = function (kind, ...rest) {
        return /webgl/.test(kind) ? null : getContext.call(this, kind, ...rest);
      };
    });
  }
  await page.route((u) => u.pathname === "/project.json",
    (route) => route.fulfill({ json: { revision: 1, project } }));
  await page.route((u) => u.pathname === "/picture",
    (route) => route.fulfill({ body: png, contentType: "image/png" }));
  page.on("pageerror", (e) => console.log("page error (" + url + "): " + e.message));
  await page.goto(url);
  await shownRevision(page, 0);
  return page;
}

async function checkPlanOfEveryKind(context, views) {
  const page = await openMadeUpView(context, views.plan, sampleProject());
  const counts = await planCounts(page);
  same(counts.byLayer, { 1: 1, 2: 6, 3: 3 }, "by layer");
  same(counts.byKind,
    { picture: 2, polyline: 1, hatch: 1, text: 1, slab: 2, morph: 1, mesh: 1, drawing: 1 },
    "by kind");
  const drawn = await page.evaluate(() => {
    const one = (selector) => document.querySelector("#plan " + selector);
    const attributes = (node, names) => names.map((name) => node.getAttribute(name));
    return {
      arc: one(".polyline").getAttribute("d"),
      hatch: attributes(one(".hatch"), ["fill", "fill-rule"]).concat(
        one(".hatch").getAttribute("d").split("M").length - 1),
      text: [one(".text").textContent].concat(attributes(one(".text"),
        ["font-size", "text-anchor", "dominant-baseline", "transform"])),
      picture: attributes(one(".picture"), ["href", "width", "height"]).concat(
        one(".picture").getBBox().width > 0),
      drawing: [one(".drawing .frame").getAttribute("d")].concat(
        attributes(one(".drawing .picture"), ["x", "y", "width", "height"]),
        one(".drawing .picture").parentNode.getAttribute("clip-path") ===
          "url(#" + one(".drawing clipPath").id + ")"),
      layers: [...document.querySelectorAll("#layers li")].map((li) => li.textContent),
      colours: [...document.querySelectorAll("#plan g.layer")].map((g) => g.getAttribute("stroke")),
    };
  });
  same(drawn.arc, "M 20 50 L 30 50 A 7.071 7.071 0 0 0 40 50", "the arc's path");
  same(drawn.hatch, ["rgb(255,0,0)", "evenodd", 2], "the hatch with its hole and colour");
  same(drawn.text, ["Dzialka <12/3> & co", "1", "middle", "central", "rotate(-30 30 30)"],
    "the text at its anchor");
  same(drawn.picture,
    ["picture?guid=%7B00000000-0000-4000-8000-000000000001%7D", "20", "10", true],
    "the picture in its box");
  same(drawn.drawing, ["M 85 15 L 95 15 L 95 5 L 85 5 L 85 15 Z", "85", "5", "20", "10", true],
    "the drawing's frame and its picture moved to its place and cut to the frame");
  same(drawn.layers, ["Warstwa podstawowa1", "GIS_BUDYNKI6", "GIS_TEREN3"], "the layer list");
  expect(new Set(drawn.colours).size === drawn.colours.length, "layers share a colour");
  await page.screenshot({ path: path.join(artifactsDir, "plan-view-every-kind.png") });
  await page.close();
}

// Slabs: 2 triangles on top, 2 below, 2 on each of 4 sides; the morph: a pyramid on a square;
// the mesh: its 4 corners and 1 level point in the middle. Without WebGL the same model is built
// and the page says why it shows nothing.
async function checkSceneOfEveryKind(context, views) {
  for (const webgl of [true, false]) {
    const page = await openMadeUpView(context, views.scene, sampleProject(), webgl);
    const scene = await sceneCounts(page);
    same(scene.layers, {
      2: { slab: { elements: 2, triangles: 24 }, morph: { elements: 1, triangles: 6 } },
      3: { mesh: { elements: 1, triangles: 4 } },
    }, "the model");
    same([scene.minZ, scene.maxZ], [0, 8], "the model's heights");
    same(await page.locator("#layers li").allTextContents(), ["GIS_BUDYNKI3", "GIS_TEREN1"],
      "the layer list");
    const offered = await page.evaluate(() => {
      const canvas = document.createElement("canvas");
      return Boolean(canvas.getContext("webgl2") || canvas.getContext("webgl"));
    });
    same([scene.drawn, await page.locator("#no-webgl").isVisible()], [offered, !offered],
      "WebGL used, the message shown");
    if (webgl && !offered) console.log("     note: this browser offers no WebGL: the model is " +
      "built and checked, not drawn");
    if (webgl) await page.screenshot({ path: path.join(artifactsDir, "3d-view-every-kind.png") });
    await page.close();
  }
}

// Thousands of elements are drawn in a few seconds, and the plan still moves under the mouse.
async function checkLargeProject(context, views) {
  const project = largeProject(40);
  for (const [url, name] of [[views.plan, "plan"], [views.scene, "3d"]]) {
    const start = Date.now();
    const page = await openMadeUpView(context, url, project);
    const seconds = (Date.now() - start) / 1000;
    console.log("     " + name + ": " + project.elements.length + " elements shown in " +
      seconds.toFixed(1) + " s");
    expect(seconds < 10, name + " took " + seconds + " s");
    if (name === "plan") {
      same((await planCounts(page)).byLayer, { 2: 3200, 3: 1600, 4: 25 }, "the plan draws");
      const before = await page.locator("#plan").getAttribute("viewBox");
      const box = await page.locator("#plan").boundingBox();
      await page.mouse.move(box.x + 200, box.y + 200);
      await page.mouse.down();
      await page.mouse.move(box.x + 260, box.y + 240, { steps: 4 });
      await page.mouse.up();
      const after = await page.locator("#plan").getAttribute("viewBox");
      expect(after !== before, "the plan did not pan");
    }
    await page.screenshot({ path: path.join(artifactsDir, name + "-view-large.png") });
    await page.close();
  }
}

async function main() {
  expect(process.env.TW_HOST_COMMANDS && process.env.TW_HOST_OUTPUT,
    "TW_HOST_COMMANDS or TW_HOST_OUTPUT is not set: run tests/browser/run.sh");
  const views = viewAddresses();
  await check("the plan and 3D views' addresses follow the pages' in the program's first lines",
    async () => {
      expect(views.plan && views.scene, "addresses " + JSON.stringify(views));
      expect(new URL(views.plan).origin === new URL(views.scene).origin, "two servers");
    });
  if (!views.plan || !views.scene) return;
  const context = await launch(views.plan, profileDir, { width: 1000, height: 700 });
  try {
    await check("the views follow the project through the add-on's duplicate cleanup and the " +
      "user's Undo without being reloaded", () => checkFollowing(context, views));
    await check("the plan draws every kind in its layer's colour: arcs, hatches with holes and " +
      "colours, texts at their anchors, pictures in their boxes, drawings cut to their frames",
    () => checkPlanOfEveryKind(context, views));
    await check("the 3D view builds meshes, slabs and morphs, one geometry per kind and layer",
      () => checkSceneOfEveryKind(context, views));
    await check("a project of thousands of elements is shown in seconds and the plan still pans",
      () => checkLargeProject(context, views));
  } finally {
    await context.close();
  }
}

run(main);
