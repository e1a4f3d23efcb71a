// The host's 3D view of the project, drawn with three.js: meshes as surfaces through their
// outline and level points, slabs as boxes over their outlines, morphs as their bodies' faces,
// each layer in a colour of its own (the plan's). Drag to turn, right-drag to move, turn the wheel
// to come closer; "Dopasuj" shows everything. The model is built anew after every change of the
// project, keeping the camera once the user has moved it. The elements of one kind and layer
// make one geometry, so a large project stays a few dozen draw calls.

import * as THREE from "three";
import { OrbitControls } from "three/addons/controls/OrbitControls.js";
import {
  Type, followProject, layerColours, planExtent, rings, showLegend,
} from "./project.js";

const canvas = document.getElementById("scene");

// Kinds of the model, by element type.
const kinds = new Map([
  [Type.mesh, "mesh"],
  [Type.slab, "slab"],
  [Type.morph, "morph"],
]);

const scene = new THREE.Scene();
scene.background = new THREE.Color(0xeef1f3);
scene.add(new THREE.HemisphereLight(0xffffff, 0x667766, 2.2));
const sun = new THREE.DirectionalLight(0xffffff, 1.6);
sun.position.set(-1, -2, 3);
scene.add(sun);
const model = new THREE.Group();
scene.add(model);

const camera = new THREE.PerspectiveCamera(40, 1, 0.1, 1e6);
camera.up.set(0, 0, 1); // the project's z is up
camera.position.set(-60, -100, 80);
const renderer = makeRenderer();
const controls = new OrbitControls(camera, canvas);
controls.addEventListener("change", render);

// The world point at the model's (0, 0, 0), taken from the first content and kept, so that the
// single-precision positions of the graphics card stay small numbers.
let origin = null;
let moved = false; // the user turned or moved the camera
controls.addEventListener("start", () => {
  moved = true;
});

// For a look at the model from the browser's console (and the browser test): the scene and
// whether it can be drawn.
window.projectView = { scene, drawn: renderer !== null };

// The renderer, or null where the browser has no WebGL: the model is still built, only not drawn.
function makeRenderer() {
  try {
    const webgl = new THREE.WebGLRenderer({ canvas, antialias: true });
    webgl.setPixelRatio(window.devicePixelRatio);
    return webgl;
  } catch (e) {
    document.getElementById("no-webgl").hidden = false;
    return null;
  }
}

function render() {
  if (renderer) renderer.render(scene, camera);
}

function resize() {
  const { clientWidth: w, clientHeight: h } = canvas;
  if (renderer) renderer.setSize(w, h, false);
  camera.aspect = w / Math.max(h, 1);
  camera.updateProjectionMatrix();
  render();
}

// ---- Triangles ------------------------------------------------------------------------------

// Adds a triangle of three [x, y, z] world points to the positions.
function addTriangle(out, a, b, c) {
  for (const p of [a, b, c]) out.push(p[0] - origin.x, p[1] - origin.y, p[2]);
}

// Whether the plan point lies inside the rings (even-odd: holes are outside).
function inside(x, y, ringPoints) {
  let crossings = 0;
  for (const ring of ringPoints) {
    for (let i = 0, j = ring.length - 1; i < ring.length; j = i++) {
      const [xi, yi] = ring[i];
      const [xj, yj] = ring[j];
      if (yi > y !== yj > y && x < ((xj - xi) * (y - yi)) / (yj - yi) + xi) crossings++;
    }
  }
  return crossings % 2 === 1;
}

// A mesh: the Delaunay triangles of its outline points (at their heights) and level points,
// those whose middle lies inside the outline. Heights are above the mesh's level.
function addMesh(out, e) {
  const level = e.level || 0;
  const z = e.z || [];
  const outline = rings(e).map((ring) =>
    ring.map((i) => [e.coords[i][0], e.coords[i][1], (z[i] || 0) + level]));
  const points = outline.flat().concat(
    (e.levelPoints || []).map((p) => [p[0], p[1], p[2] + level]));
  if (points.length < 3) return;
  const triangles = Delaunator.from(points, (p) => p[0], (p) => p[1]).triangles;
  for (let t = 0; t < triangles.length; t += 3) {
    const [a, b, c] = [points[triangles[t]], points[triangles[t + 1]], points[triangles[t + 2]]];
    if (inside((a[0] + b[0] + c[0]) / 3, (a[1] + b[1] + c[1]) / 3, outline)) {
      addTriangle(out, a, b, c);
    }
  }
}

// A slab: its outline (with its holes) as top and bottom faces and the walls between them. A
// slab stands on its level, or hangs below it when its level is its top.
function addSlab(out, e) {
  const outline = rings(e).map((ring) => ring.map((i) => new THREE.Vector2(...e.coords[i])));
  if (outline.length === 0) return;
  const bottom = (e.level || 0) - (e.reference === "top" ? e.thickness : 0);
  const top = bottom + e.thickness;
  const all = outline.flat();
  for (const [a, b, c] of THREE.ShapeUtils.triangulateShape(outline[0], outline.slice(1))) {
    addTriangle(out, [all[a].x, all[a].y, top], [all[b].x, all[b].y, top], [all[c].x, all[c].y, top]);
    addTriangle(out, [all[a].x, all[a].y, bottom], [all[c].x, all[c].y, bottom],
      [all[b].x, all[b].y, bottom]);
  }
  for (const ring of outline) {
    ring.forEach((p, i) => {
      const q = ring[(i + 1) % ring.length];
      addTriangle(out, [p.x, p.y, bottom], [q.x, q.y, bottom], [q.x, q.y, top]);
      addTriangle(out, [p.x, p.y, bottom], [q.x, q.y, top], [p.x, p.y, top]);
    });
  }
}

// The vertices of a morph polygon: each signed edge (from 1; negative: run backwards) gives the
// vertex it starts from.
function polygonVertices(body, polygon) {
  return polygon.map((signed) => {
    const edge = body.edges[Math.abs(signed) - 1];
    const vertex = edge && body.vertices[(signed > 0 ? edge[0] : edge[1]) - 1];
    return vertex || null;
  });
}

// A face in 3D, triangulated in the plane it faces most (the largest part of its normal is
// dropped).
function addFace(out, vertices) {
  if (vertices.length === 3) {
    addTriangle(out, ...vertices);
    return;
  }
  const normal = [0, 0, 0];
  vertices.forEach((p, i) => {
    const q = vertices[(i + 1) % vertices.length];
    normal[0] += (p[1] - q[1]) * (p[2] + q[2]);
    normal[1] += (p[2] - q[2]) * (p[0] + q[0]);
    normal[2] += (p[0] - q[0]) * (p[1] + q[1]);
  });
  const drop = normal.map(Math.abs).reduce((best, n, i, all) => (n > all[best] ? i : best), 0);
  const flat = vertices.map((p) => {
    const kept = p.filter((_, axis) => axis !== drop);
    return new THREE.Vector2(kept[0], kept[1]);
  });
  for (const [a, b, c] of THREE.ShapeUtils.triangulateShape(flat, [])) {
    addTriangle(out, vertices[a], vertices[b], vertices[c]);
  }
}

function addMorph(out, e) {
  if (!e.body) return;
  for (const polygon of e.body.polygons) {
    const vertices = polygonVertices(e.body, polygon);
    if (vertices.length >= 3 && !vertices.includes(null)) addFace(out, vertices);
  }
}

const builders = { mesh: addMesh, slab: addSlab, morph: addMorph };

// ---- The model ----------------------------------------------------------------------------

function disposeModel() {
  model.traverse((object) => {
    if (object.isMesh) {
      object.geometry.dispose();
      object.material.dispose();
    }
  });
  model.clear();
}

// One group per layer ("layer N"), holding one mesh per kind ("mesh", "slab", "morph") whose
// userData.elements counts the elements in it. Gives how many elements of each layer it holds.
function build(project, colourOf) {
  const parts = new Map(); // layer -> kind -> {positions, elements}
  for (const e of project.elements) {
    const kind = kinds.get(e.type);
    if (!kind) continue;
    if (!parts.has(e.layer)) parts.set(e.layer, new Map());
    const byKind = parts.get(e.layer);
    if (!byKind.has(kind)) byKind.set(kind, { positions: [], elements: 0 });
    const part = byKind.get(kind);
    builders[kind](part.positions, e);
    part.elements++;
  }
  const counts = new Map();
  for (const [layer, byKind] of parts) {
    const group = new THREE.Group();
    group.name = "layer " + layer;
    group.userData.layer = layer;
    const colour = new THREE.Color(colourOf(layer));
    let elements = 0;
    for (const [kind, part] of byKind) {
      const geometry = new THREE.BufferGeometry();
      geometry.setAttribute("position", new THREE.Float32BufferAttribute(part.positions, 3));
      geometry.computeVertexNormals(); // one normal per face: the triangles share no vertex
      // Faces are seen from both sides: bodies and slab outlines may run either way round.
      const material = new THREE.MeshLambertMaterial({ color: colour, side: THREE.DoubleSide });
      const mesh = new THREE.Mesh(geometry, material);
      mesh.name = kind;
      mesh.userData.elements = part.elements;
      group.add(mesh);
      elements += part.elements;
    }
    model.add(group);
    counts.set(layer, elements);
  }
  return counts;
}

// Looks at the whole model from the south-west, from above.
function fit() {
  const box = new THREE.Box3().setFromObject(model);
  if (box.isEmpty()) return;
  const centre = box.getCenter(new THREE.Vector3());
  const radius = Math.max(box.getSize(new THREE.Vector3()).length() / 2, 1);
  const distance = radius / Math.sin(THREE.MathUtils.degToRad(camera.fov / 2));
  camera.position.copy(centre).addScaledVector(new THREE.Vector3(-0.5, -1, 0.8).normalize(),
    distance);
  camera.near = distance / 1000;
  camera.far = distance * 10;
  camera.updateProjectionMatrix();
  controls.target.copy(centre);
  controls.update();
  moved = false;
  render();
}

function show(project, revision) {
  disposeModel();
  const extent = planExtent(project.elements);
  if (extent && !origin) {
    origin = { x: (extent.minX + extent.maxX) / 2, y: (extent.minY + extent.maxY) / 2 };
  }
  const colourOf = layerColours(project.layers);
  const counts = origin ? build(project, colourOf) : new Map();
  if (!moved) fit();
  render();
  showLegend(project, revision, colourOf, counts);
}

document.getElementById("fit").addEventListener("click", fit);
new ResizeObserver(resize).observe(canvas);
resize();

followProject(show);
