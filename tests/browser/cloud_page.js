// The point-cloud palette's page in headless Chromium, served by terraweft-host --serve --cloud
// with the fake LiDAR services (tw-fake-services) behind it: the user frames an area, reads the
// estimate, cancels one download and lets another one end; the E57 copy is read back by web-e57.
//   node tests/browser/cloud_page.js PAGE_URL PROFILE_DIR ARTIFACTS_DIR
// with TW_SCENARIO (the fakes' description, "lidarPoints" the number of points in their sheets)
// and TW_HOST_OUTPUT (the file terraweft-host writes its output to, where its alerts appear) in
// the environment, as tests/browser/run.sh sets them. Prints one line per check and a closing
// "N passed, M failed"; exits 1 on any failure. Requests to other hosts are refused.
"use strict";

const fs = require("fs");
const path = require("path");
const { execFileSync } = require("child_process");
const { answerTimeoutMs, check, expect, failures, launch, run } = require("./harness");

const [pageUrl, profileDir, artifactsDir] = process.argv.slice(2);
const scenario = JSON.parse(process.env.TW_SCENARIO || "null");
const hostOutput = process.env.TW_HOST_OUTPUT;
const downloadTimeoutMs = 60000;

async function text(page, id) {
  return page.locator("#" + id).textContent();
}

// Waits until the text of the element matches the pattern; when it does not in time, says what
// the element reads.
async function waitForText(page, id, pattern, timeout = answerTimeoutMs) {
  try {
    await page.waitForFunction(
      ([id, source, flags]) => new RegExp(source, flags).test(document.getElementById(id).textContent),
      [id, pattern.source, pattern.flags], { timeout });
  } catch (e) {
    throw new Error("#" + id + " reads " + JSON.stringify(await text(page, id)) + ", not " + pattern);
  }
}

// Drags a frame over the middle of the map, clear of the panel.
async function drawFrame(page) {
  await page.click("#frame");
  const box = await page.locator("#map").boundingBox();
  const from = { x: box.x + box.width * 0.1, y: box.y + box.height * 0.35 };
  const to = { x: box.x + box.width * 0.65, y: box.y + box.height * 0.85 };
  await page.mouse.move(from.x, from.y);
  await page.mouse.down();
  await page.mouse.move((from.x + to.x) / 2, (from.y + to.y) / 2, { steps: 5 });
  await page.mouse.move(to.x, to.y, { steps: 5 });
  await page.mouse.up();
}

function readE57(file) {
  const script = path.join(__dirname, "..", "cloud", "read_e57.mjs");
  return JSON.parse(execFileSync("node", [script, file], { encoding: "utf8" }).trim().split("\n").pop());
}

async function main() {
  if (!scenario || !hostOutput) throw new Error("TW_SCENARIO or TW_HOST_OUTPUT is not set: run tests/browser/run.sh");
  const context = await launch(pageUrl, profileDir);
  const page = context.pages()[0] || (await context.newPage());
  page.on("pageerror", (e) => console.log("page error: " + e.message));

  await check("the point-cloud page loads with its map and answers ping", async () => {
    const response = await page.goto(pageUrl);
    expect(response && response.ok(), "page answered " + (response && response.status()));
    await page.locator("#map.leaflet-container").waitFor({ state: "visible" });
    await page.locator("#panel").waitFor({ state: "visible" });
    await waitForText(page, "status", /^Chmura punktow \(kompilacja /);
  });

  await check("a frame reaching beyond Poland is refused and gets no estimate", async () => {
    await drawFrame(page);  // over much of Europe at the page's first zoom
    await waitForText(page, "status", /^Obszar poza zasiegiem ukladow PL-1992\/PL-2000 - dane obejmuja tylko Polske\.$/);
    expect(await text(page, "estimate") === "", "estimate reads " + (await text(page, "estimate")));
  });

  await check("a frame drawn on the map gets an estimate, refined from the sheet index", async () => {
    // The map over the scenario's sheets, as the program's "init" puts it.
    await page.evaluate(([lat, lon]) => GISBridge.receive({ type: "init", lat: lat, lon: lon, zoom: 8 }),
      scenario.centre);
    await drawFrame(page);
    await waitForText(page, "estimate", /^Szacunek: [\d ]+ pkt, [\d ]+,\d MB/);
    await waitForText(page, "estimate", /\(gestosc 4,0 pkt\/m2\)/);
    expect(await page.locator("#download").isEnabled(), "download stays disabled");
    await page.selectOption("#detail", "full");
    await waitForText(page, "estimate", /Za duzo punktow - zmniejsz kadr lub obniz jakosc\.$/);
    expect((await page.getAttribute("#estimate", "class")).includes("over"), "no warning style");
  });

  await check('cancel during a download answers "Anulowano."', async () => {
    await page.click("#download");
    await page.locator("#progress").waitFor({ state: "visible" });
    await waitForText(page, "label", /^Kafel 1\/2: /);
    await page.click("#cancel");
    await waitForText(page, "result", /^Anulowano\.$/, downloadTimeoutMs);
    expect(await page.locator("#progress").isHidden(), "the progress bar stays");
  });

  let copy = "";
  await check("a download of two sheets shows its progress and ends with the kept copy", async () => {
    await page.evaluate(() => {
      window.seenProgress = [];
      GISBridge.on("progress", (m) => window.seenProgress.push(m.pct));
    });
    await page.click("#download");
    await waitForText(page, "result", /^Chmura zapisana: /, downloadTimeoutMs);
    const result = await text(page, "result");
    const match = /^Chmura zapisana: (.*ostatnia_chmura\.e57) - zaimportuj: /.exec(result);
    expect(match, "unexpected message: " + result);
    copy = match[1];
    const seen = await page.evaluate(() => window.seenProgress);
    expect(seen.length >= 3 && seen[seen.length - 1] === 100, "progress: " + JSON.stringify(seen));
    await page.screenshot({ path: path.join(artifactsDir, "cloud-page.png") });
  });

  await check("web-e57 reads the kept copy with every point of the sheets", async () => {
    expect(copy !== "" && fs.existsSync(copy), "no copy at " + copy);
    const read = readE57(copy);
    const points = scenario.lidarPoints;
    expect(read.count === points, "web-e57 read " + JSON.stringify(read) + ", not " + points);
  });

  await check("the user is told in an alert how to import the copy", async () => {
    const alerts = fs.readFileSync(hostOutput, "utf8").split("\n")
      .filter((line) => line.startsWith('{"alert"')).map((line) => JSON.parse(line).alert);
    expect(alerts.length === 1, "alerts: " + JSON.stringify(alerts));
    expect(alerts[0].title === "Tovelmark Cloud", "title " + alerts[0].title);
    expect(alerts[0].text === "Chmura punktow gotowa i zgrana z projektem.", alerts[0].text);
    expect(alerts[0].small.endsWith("wskaz plik:\n" + copy), alerts[0].small);
  });

  await check("a cloud written without part of its frame shows as a warning, not as success", async () => {
    const msg = "Chmura zapisana: " + copy + " - zaimportuj: Plik > Interoperacyjnosc > Chmura punktow. " +
      "Chmura punktow: pominieto 1 kafel nie do uzycia (LiDAR N-34-2).";
    await page.evaluate((m) => GISBridge.receive(m), { type: "downloadDone", ok: true, msg: msg, warning: true });
    expect(await text(page, "result") === msg, "reads " + (await text(page, "result")));
    const shown = await page.evaluate(() => {
      const result = document.getElementById("result");
      const style = getComputedStyle(result);
      return { kind: result.className, colour: style.color, background: style.backgroundColor };
    });
    expect(shown.kind === "result warning", "class " + shown.kind);
    expect(shown.colour !== "rgb(29, 107, 33)", "in the colour of success");
    expect(shown.background !== "rgba(0, 0, 0, 0)", "on no background of its own");
  });

  if (failures() > 0) await page.screenshot({ path: path.join(artifactsDir, "cloud-failure.png") });
  await context.close();
}

run(main);
