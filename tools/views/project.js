// What the plan and the 3D view share: the project as the host serves it, reloaded after every
// change, the outlines of its elements, and a colour for each of its layers.

// The host's element type numbers.
export const Type = {
  slab: 8,
  mesh: 10,
  text: 15,
  hatch: 18,
  polyline: 20,
  drawing: 30,
  picture: 31,
  morph: 45,
};

function status(text) {
  document.getElementById("status").textContent = text;
}

// Calls show(project, revision) with the project as the host has it: when the page opens, after
// every change the host announces, and after the page was cut off (changes may have come
// meanwhile). Loads never overlap: what is announced during one leads to one more load after it.
export function followProject(show) {
  let shown = -1;
  let announced = -1;
  let stale = true;
  let loading = false;

  async function load() {
    if (loading) return;
    loading = true;
    try {
      while (stale || shown < announced) {
        stale = false;
        const response = await fetch("project.json", { cache: "no-store" });
        if (!response.ok) throw new Error(response.status + " " + (await response.text()));
        const dump = await response.json();
        shown = dump.revision;
        show(dump.project, dump.revision);
      }
    } catch (e) {
      status("Nie mozna wczytac projektu: " + e.message);
    } finally {
      loading = false;
    }
  }

  const events = new EventSource("events");
  events.onopen = () => {
    stale = true;
    load();
  };
  events.onmessage = (event) => {
    announced = Math.max(announced, Number(event.data));
    load();
  };
  // A newer page took this one's place: listening again would only take it back.
  events.addEventListener("replaced", () => {
    events.close();
    status("Widok nie odswieza sie: otwarto go w innej karcie");
  });
}

// The rings of a polygon element (hatch, slab, mesh) as [from, to) ranges of its coords, each
// ring closed by its last point. `pends` holds the index (from 1) of each ring's last coordinate;
// without it all coords make one ring (or the one line of a polyline).
export function ringRanges(element) {
  const count = (element.coords || []).length;
  const ends = element.pends && element.pends.length ? element.pends : [count];
  const ranges = [];
  let from = 0;
  for (const end of ends) {
    const to = Math.min(end, count);
    if (to > from) ranges.push([from, to]);
    from = end;
  }
  return ranges;
}

// The rings of a polygon element as lists of indices into its coords, without the points that
// close them.
export function rings(element) {
  const coords = element.coords;
  return ringRanges(element)
    .map(([from, to]) => {
      const closed = to - from > 1 && coords[from][0] === coords[to - 1][0] &&
        coords[from][1] === coords[to - 1][1];
      const ring = [];
      for (let i = from; i < (closed ? to - 1 : to); i++) ring.push(i);
      return ring;
    })
    .filter((ring) => ring.length >= 3);
}

// A copy of the element moved by the offset [x, y]: an element of a drawing's content as the plan
// shows it, the drawing's position being the offset. A drawing moves its position only: its clip
// polygon and content are in its own coordinates.
export function shifted(e, [x, y]) {
  const at = (c) => [c[0] + x, c[1] + y, ...c.slice(2)];
  if (e.type === Type.drawing) return { ...e, pos: at(e.pos) };
  const copy = { ...e };
  if (e.coords) copy.coords = e.coords.map(at);
  if (e.levelPoints) copy.levelPoints = e.levelPoints.map(at);
  if (e.body) copy.body = { ...e.body, vertices: e.body.vertices.map(at) };
  if (e.loc) copy.loc = at(e.loc);
  if (e.destBox) copy.destBox = [...at(e.destBox.slice(0, 2)), ...at(e.destBox.slice(2))];
  return copy;
}

// A drawing's clip polygon in the plan's coordinates.
export function drawingClip(drawing) {
  return shifted({ coords: drawing.coords || [] }, drawing.pos).coords;
}

// The plan extent of everything the project holds, or null for an empty project.
export function planExtent(elements) {
  const box = { minX: Infinity, minY: Infinity, maxX: -Infinity, maxY: -Infinity };
  const add = (x, y) => {
    if (!Number.isFinite(x) || !Number.isFinite(y)) return;
    box.minX = Math.min(box.minX, x);
    box.minY = Math.min(box.minY, y);
    box.maxX = Math.max(box.maxX, x);
    box.maxY = Math.max(box.maxY, y);
  };
  for (const e of elements) {
    const outline = e.type === Type.drawing ? drawingClip(e) : e.coords || [];
    for (const c of outline) add(c[0], c[1]);
    for (const p of e.levelPoints || []) add(p[0], p[1]);
    for (const v of (e.body && e.body.vertices) || []) add(v[0], v[1]);
    if (e.loc) add(e.loc[0], e.loc[1]);
    if (e.destBox) {
      add(e.destBox[0], e.destBox[1]);
      add(e.destBox[2], e.destBox[3]);
    }
  }
  return box.minX <= box.maxX ? box : null;
}

// A colour of its own for every layer (CSS text), by the layer's place in the project's list:
// hues a golden angle apart stay apart however many layers there are. Elements of a layer the
// list does not hold are grey.
export function layerColours(layers) {
  const colours = new Map();
  layers.forEach((layer, i) => {
    colours.set(layer.index, "hsl(" + Math.round((i * 137.508) % 360) + ", 65%, 42%)");
  });
  return (index) => colours.get(index) || "hsl(0, 0%, 45%)";
}

// The view's legend: which revision it shows and how many elements of it, and the layers it shows
// anything of, by their indices, with their colours and how many elements of each it shows
// (counts: layer index -> elements).
export function showLegend(project, revision, colourOf, counts) {
  const list = document.getElementById("layers");
  list.replaceChildren();
  const names = new Map(project.layers.map((layer) => [layer.index, layer.name]));
  let shown = 0;
  for (const index of [...counts.keys()].sort((a, b) => a - b)) {
    const item = document.createElement("li");
    const swatch = document.createElement("span");
    swatch.className = "swatch";
    swatch.style.background = colourOf(index);
    const name = document.createElement("span");
    name.className = "name";
    name.textContent = names.get(index) || "warstwa " + index;
    const count = document.createElement("span");
    count.className = "count";
    count.textContent = counts.get(index);
    item.append(swatch, name, count);
    list.append(item);
    shown += counts.get(index);
  }
  status("Rewizja " + revision + ", elementy: " + shown);
  document.body.dataset.revision = revision;
}
