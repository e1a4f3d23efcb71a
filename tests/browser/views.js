// What the browser tests of the host's own views of the project share: their addresses, opening
// them, and what they draw (the plan's SVG, the 3D view's three.js scene) against what the
// program's project holds.
"use strict";

const fs = require("fs");
const { answerTimeoutMs, expect } = require("./harness");

// The addresses of the point-cloud page, the plan and the 3D view, from the program's first lines.
function viewAddresses() {
  const lines = fs.readFileSync(process.env.TW_HOST_OUTPUT, "utf8").split("\n");
  const addresses = lines.slice(0, 4);
  return {
    cloud: addresses.find((line) => /^http:\/\/127\.0\.0\.1:\d+\/cloud\.html$/.test(line)),
    plan: addresses.find((line) => /^http:\/\/127\.0\.0\.1:\d+\/plan\.html$/.test(line)),
    scene: addresses.find((line) => /^http:\/\/127\.0\.0\.1:\d+\/3d\.html$/.test(line)),
  };
}

// Opens a view and waits until it shows a revision of the project.
async function openView(context, url, timeoutMs = answerTimeoutMs) {
  const page = await context.newPage();
  page.on("pageerror", (e) => console.log("page error (" + url + "): " + e.message));
  const response = await page.goto(url);
  expect(response && response.ok(), url + " answered " + (response && response.status()));
  await shownRevision(page, -1, timeoutMs);
  return page;
}

// Waits until the view shows a revision after `after`; gives it.
async function shownRevision(page, after, timeoutMs = answerTimeoutMs) {
  await page.waitForFunction((after) => Number(document.body.dataset.revision) > after, after,
    { timeout: timeoutMs });
  return page.evaluate(() => Number(document.body.dataset.revision));
}

// What the plan draws: the number of drawn elements by layer and by kind, and its status line.
function planCounts(page) {
  return page.evaluate(() => {
    const byLayer = {};
    const byKind = {};
    for (const node of document.querySelectorAll("#plan [data-layer]")) {
      byLayer[node.dataset.layer] = (byLayer[node.dataset.layer] || 0) + 1;
      byKind[node.getAttribute("class")] = (byKind[node.getAttribute("class")] || 0) + 1;
    }
    return { byLayer, byKind, status: document.getElementById("status").textContent };
  });
}

// What the 3D view holds: per layer group, per kind, the elements and triangles, the model's
// height range, and whether it can draw.
function sceneCounts(page) {
  return page.evaluate(() => {
    const { scene, drawn } = window.projectView;
    const layers = {};
    let minZ = Infinity;
    let maxZ = -Infinity;
    for (const group of scene.children.filter((c) => c.isGroup)) {
      for (const layer of group.children) {
        const kinds = {};
        for (const mesh of layer.children) {
          const position = mesh.geometry.getAttribute("position");
          kinds[mesh.name] = { elements: mesh.userData.elements, triangles: position.count / 3 };
          for (let i = 0; i < position.count; i++) {
            minZ = Math.min(minZ, position.getZ(i));
            maxZ = Math.max(maxZ, position.getZ(i));
          }
        }
        layers[layer.userData.layer] = kinds;
      }
    }
    return { layers, minZ, maxZ, drawn };
  });
}

// Objects compare by their keys' values whatever the keys' order; arrays in their order.
function canonical(value) {
  if (Array.isArray(value)) return value.map(canonical);
  if (value === null || typeof value !== "object") return value;
  return Object.fromEntries(Object.keys(value).sort().map((k) => [k, canonical(value[k])]));
}

function same(actual, wanted, what) {
  expect(JSON.stringify(canonical(actual)) === JSON.stringify(canonical(wanted)),
    what + " " + JSON.stringify(actual) + ", expected " + JSON.stringify(wanted));
}

// The element types each view draws (a drawing's type number is 30).
const drawingType = 30;
const planTypes = [8, 10, 15, 18, 20, drawingType, 31, 45];
const sceneTypes = [8, 10, 45];

// How many elements of the types a view draws each layer of the project holds, those inside the
// drawings it draws included.
function byLayer(project, types) {
  const counts = {};
  const add = (elements) => {
    for (const e of elements.filter((e) => types.includes(e.type))) {
      counts[e.layer] = (counts[e.layer] || 0) + 1;
      if (e.type === drawingType) add(e.content || []);
    }
  };
  add(project.elements);
  return counts;
}

// Waits until both views show a revision after `after` and draw what the project holds, layer by
// layer; gives the revision.
async function expectShown(plan, scene, after, project, timeoutMs = answerTimeoutMs) {
  const revision = await shownRevision(plan, after, timeoutMs);
  const wanted = byLayer(project, planTypes);
  // Waits for the drawing of as many elements; if it never comes, the comparison below tells
  // what differs.
  await plan.waitForFunction((total) =>
    document.querySelectorAll("#plan [data-layer]").length === total,
  Object.values(wanted).reduce((a, b) => a + b, 0), { timeout: timeoutMs })
    .catch(() => {});
  same((await planCounts(plan)).byLayer, wanted, "the plan draws by layer");
  expect(await shownRevision(scene, after, timeoutMs) === revision,
    "the 3D view shows another revision");
  const model = {};
  for (const [layer, kinds] of Object.entries((await sceneCounts(scene)).layers))
    model[layer] = Object.values(kinds).reduce((sum, kind) => sum + kind.elements, 0);
  same(model, byLayer(project, sceneTypes), "the 3D view holds by layer");
  return revision;
}

module.exports = {
  byLayer,
  expectShown,
  openView,
  planCounts,
  same,
  sceneCounts,
  shownRevision,
  viewAddresses,
};
