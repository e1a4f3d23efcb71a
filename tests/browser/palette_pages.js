// The map palette's page in headless Chromium, served by terraweft-host --serve: it loads, its
// base map carries the OpenStreetMap credit, and the channel to the program works.
//   node tests/browser/palette_pages.js PAGE_URL PROFILE_DIR ARTIFACTS_DIR
// Prints one line per check and a closing "N passed, M failed"; exits 1 on any failure.
// Requests to any host but the page's own are refused, so the map's base layer never loads.
"use strict";

const path = require("path");
const { answerTimeoutMs, check, expect, failures, launch, run } = require("./harness");

const [pageUrl, profileDir, artifactsDir] = process.argv.slice(2);
const invalidMessage = "Nieprawidlowa wiadomosc z UI (JSON)";
const osmCredit = "autorzy OpenStreetMap";
const osmCopyright = "https://www.openstreetmap.org/copyright";

// Sends one argument through GIS.postMessage, as the page does, and gives the first message of
// one of `types` that the program sends back. `padBytes` > 0 turns a ping into a message of that
// size, built in the page.
function exchange(page, argument, types, padBytes = 0) {
  return page.evaluate(
    ([argument, types, padBytes, timeoutMs]) =>
      new Promise((resolve, reject) => {
        const timer = setTimeout(() => reject(new Error("no answer of " + types)), timeoutMs);
        for (const type of types) {
          GISBridge.on(type, (message) => {
            clearTimeout(timer);
            resolve(message);
          });
        }
        const text = padBytes > 0
          ? JSON.stringify({ type: "ping", pad: "x".repeat(padBytes) })
          : argument;
        GIS.postMessage(text).catch(reject);
      }),
    [argument, types, padBytes, answerTimeoutMs]);
}

async function expectInvalidMessageError(page, argument, padBytes = 0) {
  const answer = await exchange(page, argument, ["error", "pong"], padBytes);
  expect(answer.type === "error", "expected an error, got " + JSON.stringify(answer));
  expect(answer.msg === invalidMessage, "unexpected error text: " + answer.msg);
}

// The map's credit line names OpenStreetMap and links to its copyright page.
async function expectOsmCredit(page) {
  const link = page.locator(".leaflet-control-attribution a[href='" + osmCopyright + "']");
  await link.waitFor({ state: "visible", timeout: answerTimeoutMs });
  const text = await link.textContent();
  expect(text.includes(osmCredit), "credit reads " + JSON.stringify(text));
}

// Pans the map by dragging it, which moves whichever base layer the page chose.
async function panMap(page) {
  const box = await page.locator("#map").boundingBox();
  await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
  await page.mouse.down();
  await page.mouse.move(box.x + box.width / 2 + 60, box.y + box.height / 2 + 40, { steps: 5 });
  await page.mouse.up();
}

// A page of the same context whose browser offers no WebGL.
async function pageWithoutWebGL(context) {
  const page = await context.newPage();
  await page.addInitScript(() => {
    const getContext = HTMLCanvasElement.prototype.getContext;
    HTMLCanvasElement.prototype.getContext = function (kind, ...rest) {
      return /webgl/.test(kind) ? null : getContext.call(this, kind, ...rest);
    };
  });
  return page;
}

async function main() {
  const context = await launch(pageUrl, profileDir);
  const page = context.pages()[0] || (await context.newPage());
  page.on("pageerror", (e) => console.log("page error: " + e.message));

  await check("the map page loads and its map container renders", async () => {
    const response = await page.goto(pageUrl);
    expect(response && response.ok(), "page answered " + (response && response.status()));
    const map = page.locator("#map.leaflet-container");
    await map.waitFor({ state: "visible", timeout: answerTimeoutMs });
    const box = await map.boundingBox();
    expect(box && box.width > 100 && box.height > 100, "map too small: " + JSON.stringify(box));
    await page.locator(".leaflet-control-zoom").waitFor({ state: "visible" });
  });

  await check("the MapLibre base map credits OpenStreetMap, and panning raises no error",
    async () => {
      const errors = [];
      page.on("pageerror", (e) => errors.push(e.message));
      await page.locator(".leaflet-gl-layer").waitFor({ state: "attached" });
      await expectOsmCredit(page);
      await panMap(page);
      await page.waitForTimeout(300);
      expect(errors.length === 0, "script errors: " + errors.join("; "));
    });

  await check("without WebGL the plain tile layer credits OpenStreetMap", async () => {
    const plain = await pageWithoutWebGL(context);
    const errors = [];
    plain.on("pageerror", (e) => errors.push(e.message));
    await plain.goto(pageUrl);
    await plain.locator(".leaflet-tile-pane .leaflet-layer").waitFor({ state: "attached" });
    expect(await plain.locator(".leaflet-gl-layer").count() === 0,
      "a MapLibre layer without WebGL");
    await expectOsmCredit(plain);
    await panMap(plain);
    await plain.waitForTimeout(300);
    expect(errors.length === 0, "script errors: " + errors.join("; "));
    await plain.close();
  });

  await check("the credit's link opens in the system browser and the page stays", async () => {
    // The program's answer is stood in for here, so that no browser of this machine opens.
    const opened = [];
    const channelCall = (url) => url.pathname.startsWith("/__terraweft/call");
    await page.route(channelCall, (route) => {
      const body = route.request().postData() || "";
      if (!body.includes('"openExternal"')) return route.continue();
      opened.push(JSON.parse(body).url);
      return route.fulfill({ contentType: "application/json", body: '{"ok":true,"value":true}' });
    });
    await page.locator(".leaflet-control-attribution a[href='" + osmCopyright + "']").click();
    await page.waitForTimeout(300);
    expect(page.url() === pageUrl, "the page went to " + page.url());
    expect(opened.length === 1 && opened[0] === osmCopyright, "opened " + JSON.stringify(opened));
    await page.unroute(channelCall);
  });

  await check('the page\'s "ping" comes back with "wersja" "1.8.0"', async () => {
    // The page pings by itself when it loads and shows the answer in its status line.
    await page.waitForFunction(
      () => document.getElementById("status").textContent.startsWith("TERRAWEFT 1.8.0"),
      null, { timeout: answerTimeoutMs });
    const pong = await exchange(page, JSON.stringify({ type: "ping" }), ["pong"]);
    expect(pong.wersja === "1.8.0", "wersja " + pong.wersja);
    await page.screenshot({ path: path.join(artifactsDir, "map-page.png") });
  });

  await check("an invalid message from the page brings the bridge's error into the page",
    async () => {
      await expectInvalidMessageError(page, "{nie json");
      await expectInvalidMessageError(page, 5);
      await page.waitForFunction(
        (text) => {
          const status = document.getElementById("status");
          return status.textContent === text && status.classList.contains("error");
        },
        invalidMessage, { timeout: answerTimeoutMs });
    });

  await check("a message over the size limit is refused with the same error", async () => {
    await expectInvalidMessageError(page, null, 5 * 1024 * 1024);
    const pong = await exchange(page, JSON.stringify({ type: "ping" }), ["pong"]);
    expect(pong.wersja === "1.8.0", "the channel did not recover");
  });

  if (failures() > 0) await page.screenshot({ path: path.join(artifactsDir, "failure.png") });
  await context.close();
}

run(main);
