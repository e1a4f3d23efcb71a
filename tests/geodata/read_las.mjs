// Reads a LAS or LAZ file with @loaders.gl/las, a LAS/LAZ reader of its own (LAS 1.0 to 1.3
// through its laz-perf build, LAS 1.4 through its laz-rs build), and prints one JSON line:
// {"count", "points": [[x, y, z, red, green, blue, classification], ...]} with the colour
// channels' 16-bit values as stored (0 without colour), or {"error": text}.
//   node tests/geodata/read_las.mjs FILE
import { readFile } from "node:fs/promises";
import { createRequire } from "node:module";
import path from "node:path";
import { LAZPerfLoader, LAZRsLoader } from "@loaders.gl/las";

const [file] = process.argv.slice(2);

// The laz-rs build fetches its WebAssembly by URL, which Node.js does not do for files: start it
// here from the bytes, and the loader finds it started.
async function startLazRs() {
  const main = createRequire(import.meta.url).resolve("@loaders.gl/las");
  const dir = path.join(path.dirname(main), "libs/laz-rs-wasm");
  const { default: start } = await import(path.join(dir, "laz_rs_wasm.js"));
  await start({ module_or_path: await readFile(path.join(dir, "laz_rs_wasm_bg.wasm")) });
}

// The loader keeps 8 bits a channel: the high bytes with colorDepth 16, the low ones with 8.
async function parse(loader, bytes, colorDepth) {
  const buffer = bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.byteLength);
  return loader.parse(buffer, { las: { colorDepth, fp64: true } });
}

try {
  const bytes = await readFile(file);
  const las14 = bytes[24] === 1 && bytes[25] >= 4;
  if (las14) await startLazRs();
  const loader = las14 ? LAZRsLoader : LAZPerfLoader;
  const high = await parse(loader, bytes, 16);
  const low = await parse(loader, bytes, 8);
  const count = high.header.vertexCount;
  const position = high.attributes.POSITION.value;
  const classification = high.attributes.classification.value;
  const highColour = high.attributes.COLOR_0?.value;
  const lowColour = low.attributes.COLOR_0?.value;
  const channel = (i, c) => (highColour ? highColour[4 * i + c] * 256 + lowColour[4 * i + c] : 0);
  const points = [];
  for (let i = 0; i < count; i++) {
    points.push([position[3 * i], position[3 * i + 1], position[3 * i + 2],
      channel(i, 0), channel(i, 1), channel(i, 2), classification[i]]);
  }
  console.log(JSON.stringify({ count, points }));
} catch (e) {
  console.log(JSON.stringify({ error: String(e) }));
}
