// Reads an E57 file with web-e57, an E57 reader of its own compiled to WebAssembly, and prints
// what it found as one JSON line: {"count", "min": [x, y, z], "max": [x, y, z],
// "colourSum": [r, g, b], "points": [[x, y, z, r, g, b], ...] (only when `all` is given)}, or
// {"error": text} when it cannot read the file.
//   node tests/cloud/read_e57.mjs FILE [all]
import { readFile } from "node:fs/promises";
import { createRequire } from "node:module";
import path from "node:path";

const require = createRequire(import.meta.url);
const packageDir = path.dirname(require.resolve("web-e57"));
// The package's own entry imports its WebAssembly as an ES module, which Node.js does not do
// without a flag: instantiate the module here with the package's glue code instead.
const glue = await import(path.join(packageDir, "e57_bg.js"));
const { instance } = await WebAssembly.instantiate(
  await readFile(path.join(packageDir, "e57_bg.wasm")), { "./e57_bg.js": glue });
glue.__wbg_set_wasm(instance.exports);

const [file, all] = process.argv.slice(2);
let text;
try {
  text = glue.convertE57(new Uint8Array(await readFile(file)), "XYZ");
} catch (e) {
  console.log(JSON.stringify({ error: String(e) }));
  process.exit(0);
}

const summary = { count: 0, min: [], max: [], colourSum: [0, 0, 0] };
const points = [];
for (const line of text.split("\n")) {
  if (line.trim() === "") continue;
  const v = line.trim().split(/\s+/).map(Number);
  for (let axis = 0; axis < 3; axis++) {
    summary.min[axis] = summary.count === 0 ? v[axis] : Math.min(summary.min[axis], v[axis]);
    summary.max[axis] = summary.count === 0 ? v[axis] : Math.max(summary.max[axis], v[axis]);
  }
  for (let c = 0; c < 3; c++) summary.colourSum[c] += v[3 + c] || 0;
  summary.count++;
  if (all) points.push(v);
}
if (all) summary.points = points;
console.log(JSON.stringify(summary));
