// Decoding speed of our reader against laz-perf's WebAssembly decoder, on the same files in the
// same run. Not part of ctest; laz-perf is installed outside the repository:
//
//   npm install --prefix /tmp/lazperf laz-perf
//   node tests/laz/lazperf_ratio.mjs /tmp/lazperf build/tests/tw_laz_bench
//
// Prints points per second of both and their ratio for every sample the benchmark decodes.

import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const [prefix, bench, dir = path.resolve('../shared/testdata/laz')] = process.argv.slice(2);
if (!prefix || !bench) {
  console.error('usage: node lazperf_ratio.mjs <laz-perf install prefix> <tw_laz_bench> [sample dir]');
  process.exit(2);
}
const entry = path.join(prefix, 'node_modules/laz-perf/lib/node/index.js');
const { createLazPerf } = await import(pathToFileURL(entry).href);
const LazPerf = await createLazPerf();

const samples = [
  ['BM_DecodeAutzenFormat3', 'autzen_trim.laz'],
  ['BM_DecodeLayeredFormat6', '1_4_w_evlr.laz'],
  ['BM_DecodeLayeredFormat7', 'simple.copc.laz'],
];

// Whole-file decodes for about two seconds, file opening included, as in the benchmark.
function lazPerfPointsPerSecond(file) {
  const bytes = fs.readFileSync(file);
  const data = LazPerf._malloc(bytes.length);
  LazPerf.HEAPU8.set(bytes, data);
  let points = 0;
  const start = process.hrtime.bigint();
  while (Number(process.hrtime.bigint() - start) < 2e9) {
    const reader = new LazPerf.LASZip();
    reader.open(data, bytes.length);
    const record = LazPerf._malloc(reader.getPointLength());
    const count = reader.getCount();
    for (let i = 0; i < count; ++i) reader.getPoint(record);
    LazPerf._free(record);
    reader.delete();
    points += count;
  }
  LazPerf._free(data);
  return points / (Number(process.hrtime.bigint() - start) / 1e9);
}

function oursPointsPerSecond(name) {
  const out = execFileSync(bench, [`--benchmark_filter=^${name}$`, '--benchmark_format=json']);
  return JSON.parse(out).benchmarks[0].items_per_second;
}

for (const [name, file] of samples) {
  const ours = oursPointsPerSecond(name);
  const theirs = lazPerfPointsPerSecond(path.join(dir, file));
  console.log(`${file}: ours ${(ours / 1e6).toFixed(2)} M/s, laz-perf ${(theirs / 1e6).toFixed(3)} M/s,`
    + ` ratio ${(ours / theirs).toFixed(2)}`);
}
