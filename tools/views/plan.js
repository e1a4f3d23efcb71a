// The host's plan of the project, drawn as SVG: each layer in a colour of its own, polylines with
// their arcs, hatches in their fill colours, the outlines of slabs and meshes, the edges of morphs
// seen from above, texts at their anchors, pictures in their boxes and drawings, what they hold cut
// to their frames. Drag to pan, turn the
// wheel to zoom, "Dopasuj" to see everything. The plan is drawn anew after every change of the
// project, keeping the part the user looks at once he has moved it.

import {
  Type, drawingClip, followProject, layerColours, planExtent, ringRanges, shifted, showLegend,
} from "./project.js";

// Text sizes are millimetres on paper: the plan is drawn at this scale.
const drawingScale = 500;
// The fill of a hatch seen through, so that what lies under it shows.
const hatchOpacity = 0.35;
// Text anchors 1-9: left, middle, right of the top, middle and bottom rows.
const anchorAlign = ["start", "middle", "end"];
const anchorBaseline = ["text-top", "central", "text-bottom"];
const defaultAnchor = 7;

const svg = document.getElementById("plan");

// The world point at the drawing's (0, 0), taken from the first content and kept, so that the
// browser's single-precision drawing works with small numbers. The drawing's y runs down.
let origin = null;
let view = null; // the visible part of the drawing: {x, y, w, h}
let moved = false; // the user panned or zoomed

const dx = (x) => +(x - origin.x).toFixed(3);
const dy = (y) => +(origin.y - y).toFixed(3);
const point = (c) => dx(c[0]) + " " + dy(c[1]);

function escapeXml(text) {
  return String(text).replace(/[&<>"]/g, (c) => "&#" + c.charCodeAt(0) + ";");
}

// An arc from a to b turning by the angle (radians; positive: counter-clockwise in the world); a
// straight segment when the angle makes no circle.
function segmentTo(a, b, angle) {
  const chord = Math.hypot(b[0] - a[0], b[1] - a[1]);
  const radius = chord / (2 * Math.abs(Math.sin(angle / 2)));
  if (!Number.isFinite(radius) || radius <= 0) return " L " + point(b);
  const large = Math.abs(angle) > Math.PI ? 1 : 0;
  const sweep = angle > 0 ? 0 : 1; // the drawing's y runs down
  return " A " + +radius.toFixed(3) + " " + +radius.toFixed(3) + " 0 " + large + " " + sweep +
    " " + point(b);
}

// The path through coords[from..to), its segments following the element's arcs (each arc runs
// between the points of its two indices, counted from 1).
function pathThrough(coords, from, to, arcsByStart) {
  let d = "M " + point(coords[from]);
  for (let k = from; k + 1 < to;) {
    const arc = arcsByStart.get(k + 1);
    const end = arc ? arc[1] - 1 : -1;
    if (end > k && end < to) {
      d += segmentTo(coords[k], coords[end], arc[2]);
      k = end;
    } else {
      d += " L " + point(coords[k + 1]);
      k++;
    }
  }
  return d;
}

function outlinePath(e, closed) {
  const arcs = new Map((e.arcs || []).map((a) => [a[0], a]));
  return ringRanges(e)
    .map(([from, to]) => pathThrough(e.coords, from, to, arcs) + (closed ? " Z" : ""))
    .join(" ");
}

function morphEdgesPath(body) {
  const v = body.vertices;
  return body.edges
    .filter(([from, to]) => v[from - 1] && v[to - 1])
    .map(([from, to]) => "M " + point(v[from - 1]) + " L " + point(v[to - 1]))
    .join(" ");
}

function rgb(colour) {
  return "rgb(" + colour.map((c) => Math.round(c * 255)).join(",") + ")";
}

function pathMarkup(e, kind, d, extra = "") {
  return d ? '<path class="' + kind + '" data-layer="' + e.layer + '" d="' + d + '"' + extra +
    "/>" : "";
}

function textMarkup(e) {
  const anchor = e.anchor >= 1 && e.anchor <= 9 ? e.anchor : defaultAnchor;
  const x = dx(e.loc[0]);
  const y = dy(e.loc[1]);
  const degrees = +(-(e.angle || 0) * 180 / Math.PI).toFixed(3);
  return '<text class="text" data-layer="' + e.layer + '" stroke="none" fill="currentColor" x="' +
    x + '" y="' + y +
    '" font-size="' + (e.size * drawingScale) / 1000 + '" text-anchor="' +
    anchorAlign[(anchor - 1) % 3] + '" dominant-baseline="' +
    anchorBaseline[Math.floor((anchor - 1) / 3)] + '" transform="rotate(' + degrees + " " + x +
    " " + y + ')">' + escapeXml(e.text) + "</text>";
}

// A picture fills its destination box, turned about the box's lower-left corner; one that is
// not stretched keeps its proportions.
function pictureMarkup(e) {
  const [xMin, yMin, xMax, yMax] = e.destBox;
  const degrees = +(-(e.rotation || 0) * 180 / Math.PI).toFixed(3);
  return '<image class="picture" data-layer="' + e.layer + '" href="picture?guid=' +
    encodeURIComponent(e.guid) + '" x="' + dx(xMin) + '" y="' + dy(yMax) + '" width="' +
    (xMax - xMin) + '" height="' + (yMax - yMin) + '" preserveAspectRatio="' +
    (e.stretch ? "none" : "xMidYMid meet") + '" transform="rotate(' + degrees + " " + dx(xMin) +
    " " + dy(yMin) + ')"/>';
}

// Drawings drawn so far in this drawing of the plan: each has a clip path of its own.
let drawings = 0;

// A drawing shows what it holds, moved so that its own origin lies at its position and cut to its
// clip polygon, which is drawn as its frame.
function drawingMarkup(e) {
  const frame = outlinePath({ coords: drawingClip(e), pends: e.pends }, true);
  if (!frame) return "";
  const clip = "drawing-clip-" + ++drawings;
  const content = (e.content || []).map((inside) => elementMarkup(shifted(inside, e.pos)));
  return '<g class="drawing" data-layer="' + e.layer + '"><clipPath id="' + clip + '"><path d="' +
    frame + '"/></clipPath><g clip-path="url(#' + clip + ')">' + content.join("") +
    '</g><path class="frame" d="' + frame + '"/></g>';
}

// The markup of one element, or "" for a type the plan does not draw.
function elementMarkup(e) {
  switch (e.type) {
    case Type.polyline:
      return pathMarkup(e, "polyline", outlinePath(e, false));
    case Type.hatch: {
      const fill = e.ownColor ? rgb(e.ownColor) : "currentColor";
      return pathMarkup(e, "hatch", outlinePath(e, true),
        ' fill="' + fill + '" fill-opacity="' + hatchOpacity + '" fill-rule="evenodd"');
    }
    case Type.slab:
      return pathMarkup(e, "slab", outlinePath(e, true));
    case Type.mesh:
      return pathMarkup(e, "mesh", outlinePath(e, true));
    case Type.morph:
      return e.body ? pathMarkup(e, "morph", morphEdgesPath(e.body)) : "";
    case Type.text:
      return e.loc ? textMarkup(e) : "";
    case Type.picture:
      return e.destBox ? pictureMarkup(e) : "";
    case Type.drawing:
      return e.pos ? drawingMarkup(e) : "";
    default:
      return "";
  }
}

// A group of markup drawn in a layer's colour.
function inColour(colour, markup, kind = "") {
  return "<g" + (kind ? ' class="' + kind + '"' : "") + ' color="' + colour + '" stroke="' +
    colour + '" fill="none">' + markup + "</g>";
}

// How many elements of each layer the plan shows, those inside drawings included.
function drawnByLayer() {
  const counts = new Map();
  for (const node of svg.querySelectorAll("[data-layer]")) {
    const layer = Number(node.dataset.layer);
    counts.set(layer, (counts.get(layer) || 0) + 1);
  }
  return counts;
}

// Draws the elements, pictures and drawings under everything else, each layer in its group and
// colour; gives how many elements of each layer were drawn.
function draw(project, colourOf) {
  const backdrop = [];
  const layers = new Map();
  drawings = 0;
  for (const e of project.elements) {
    const markup = elementMarkup(e);
    if (!markup) continue;
    if (e.type === Type.picture) {
      backdrop.push(markup);
    } else if (e.type === Type.drawing) {
      backdrop.push(inColour(colourOf(e.layer), markup));
    } else {
      if (!layers.has(e.layer)) layers.set(e.layer, []);
      layers.get(e.layer).push(markup);
    }
  }
  let markup = '<g class="backdrop">' + backdrop.join("") + "</g>";
  for (const [layer, parts] of layers) markup += inColour(colourOf(layer), parts.join(""), "layer");
  svg.innerHTML = markup;
  return drawnByLayer();
}

function applyView() {
  svg.setAttribute("viewBox", [view.x, view.y, view.w, view.h].join(" "));
}

// Shows the whole drawing (arcs, texts and pictures as drawn) with a margin.
function fit() {
  const box = svg.getBBox();
  if (box.width === 0 && box.height === 0) return;
  const margin = 0.05 * Math.max(box.width, box.height, 1);
  view = {
    x: box.x - margin,
    y: box.y - margin,
    w: box.width + 2 * margin,
    h: box.height + 2 * margin,
  };
  moved = false;
  applyView();
}

function show(project, revision) {
  const extent = planExtent(project.elements);
  if (extent && !origin) origin = { x: extent.minX, y: extent.maxY };
  const colourOf = layerColours(project.layers);
  const counts = origin ? draw(project, colourOf) : new Map();
  if (!moved) fit();
  showLegend(project, revision, colourOf, counts);
}

// Drawing units per screen pixel, as the SVG's current transformation has them.
function unitsPerPixel() {
  return 1 / svg.getScreenCTM().a;
}

svg.addEventListener("wheel", (event) => {
  if (!view) return;
  event.preventDefault();
  const factor = Math.exp(event.deltaY * 0.002);
  const at = new DOMPoint(event.clientX, event.clientY).matrixTransform(
    svg.getScreenCTM().inverse());
  view = {
    x: at.x - (at.x - view.x) * factor,
    y: at.y - (at.y - view.y) * factor,
    w: view.w * factor,
    h: view.h * factor,
  };
  moved = true;
  applyView();
}, { passive: false });

svg.addEventListener("pointerdown", (event) => {
  if (!view) return;
  svg.setPointerCapture(event.pointerId);
  let last = { x: event.clientX, y: event.clientY };
  const move = (e) => {
    const scale = unitsPerPixel();
    view.x -= (e.clientX - last.x) * scale;
    view.y -= (e.clientY - last.y) * scale;
    last = { x: e.clientX, y: e.clientY };
    moved = true;
    applyView();
  };
  const end = () => {
    svg.removeEventListener("pointermove", move);
    svg.removeEventListener("pointerup", end);
    svg.removeEventListener("pointercancel", end);
  };
  svg.addEventListener("pointermove", move);
  svg.addEventListener("pointerup", end);
  svg.addEventListener("pointercancel", end);
});

document.getElementById("fit").addEventListener("click", fit);

followProject(show);
