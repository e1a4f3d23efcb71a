// The map palette's page in headless Chromium, served by terraweft-host --serve.
//   node tests/browser/palette_pages.js PAGE_URL PROFILE_DIR ARTIFACTS_DIR
// Prints one line per check and a closing "N passed, M failed"; exits 1 on any failure.
// Requests to any host but the page's own are refused, so the map's base layer never loads.
"use strict";

const path = require("path");
const { chromium } = require("playwright-core");

const [pageUrl, profileDir, artifactsDir] = process.argv.slice(2);
const origin = new URL(pageUrl).origin;
const invalidMessage = "Nieprawidlowa wiadomosc z UI (JSON)";
const answerTimeoutMs = 10000;

const chromiumFlags = [
  "--headless",
  "--no-sandbox",
  "--disable-gpu",
  "--disable-quic",
  "--no-first-run",
  "--disable-background-networking",
  "--disable-component-update",
  "--disable-sync",
];

let passed = 0;
let failed = 0;

async function check(name, body) {
  try {
    await body();
    passed++;
    console.log("ok   " + name);
  } catch (e) {
    failed++;
    console.log("FAIL " + name + ": " + e.message);
  }
}

function expect(condition, what) {
  if (!condition) throw new Error(what);
}

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

async function main() {
  const context = await chromium.launchPersistentContext(profileDir, {
    executablePath: "/usr/bin/chromium",
    headless: true,
    args: chromiumFlags,
    viewport: { width: 900, height: 640 },
  });
  await context.route((url) => url.origin !== origin, (route) => route.abort());
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

  if (failed > 0) await page.screenshot({ path: path.join(artifactsDir, "failure.png") });
  await context.close();
}

main()
  .catch((e) => {
    failed++;
    console.log("FAIL browser session: " + e.message);
  })
  .finally(() => {
    console.log(passed + " passed, " + failed + " failed");
    process.exit(failed === 0 ? 0 : 1);
  });
