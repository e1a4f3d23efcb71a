// What the browser test files share: headless Chromium with every other host refused, named
// checks counted into the closing "N passed, M failed" line, and the messages a page posts to
// the program through its channel.
"use strict";

const fs = require("fs");
const { chromium } = require("playwright-core");

const answerTimeoutMs = 10000;
const channelCall = "/__terraweft/call";

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

const defaultViewport = { width: 900, height: 640 };

function startChromium(profileDir, flags, viewport) {
  return chromium.launchPersistentContext(profileDir, {
    executablePath: "/usr/bin/chromium",
    headless: true,
    args: chromiumFlags.concat(flags),
    viewport,
  });
}

// A browser whose requests to any host but the page's own (or the pages', given a list of
// addresses) are refused, so nothing reaches an outside host (the map's base layer never loads).
async function launch(pageUrls, profileDir, viewport = defaultViewport) {
  const origins = new Set([].concat(pageUrls).map((url) => new URL(url).origin));
  const context = await startChromium(profileDir, [], viewport);
  await context.route((url) => !origins.has(url.origin), (route) => route.abort());
  return context;
}

// The same for measuring time: every host name and address but the page's own resolves to
// nothing, instead of each request being held up for the test to look at (which adds a few ms to
// every one).
function launchForTiming(pageUrl, profileDir, viewport = defaultViewport) {
  const flag = "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE " + new URL(pageUrl).hostname;
  return startChromium(profileDir, [flag], viewport);
}

// Messages in their order of arrival: `since()` marks a point; `after(mark)` gives the messages
// after it, `waitFor(type, mark)` the first one of that type.
function messageLog(what) {
  const messages = [];
  return {
    add: (message) => messages.push(message),
    since: () => messages.length,
    after: (mark) => messages.slice(mark),
    waitFor: async (type, mark, timeoutMs = answerTimeoutMs) => {
      const end = Date.now() + timeoutMs;
      for (;;) {
        const found = messages.slice(mark).find((m) => m.type === type);
        if (found) return found;
        if (Date.now() > end) throw new Error(what + ' no "' + type + '"');
        await new Promise((resolve) => setTimeout(resolve, 20));
      }
    },
  };
}

// Every message the page posts through GIS.postMessage, as it reaches the program (parsed when
// it is JSON).
function recordMessages(page) {
  const log = messageLog("the page sent");
  page.on("request", (request) => {
    if (request.method() !== "POST" || !new URL(request.url()).pathname.startsWith(channelCall))
      return;
    try {
      log.add(JSON.parse(request.postData()));
    } catch (e) {
      log.add({ unreadable: request.postData() });
    }
  });
  return log;
}

// Every message of the given types that the program pushes into the loaded page, as the page's
// own handlers receive it.
async function recordEvents(page, types) {
  const log = messageLog("the page received");
  await page.exposeFunction("recordEvent", (message) => log.add(message));
  await page.evaluate((types) => {
    for (const type of types) GISBridge.on(type, (message) => window.recordEvent(message));
  }, types);
  return log;
}

// Carries out scripted-mode commands in the program (through its standard input,
// TW_HOST_COMMANDS) and gives the events they wrote (the JSON lines of its standard output,
// TW_HOST_OUTPUT); the last command must be "dump", whose event ends the wait.
async function programEvents(commands) {
  const output = process.env.TW_HOST_OUTPUT;
  const start = fs.statSync(output).size;
  fs.appendFileSync(process.env.TW_HOST_COMMANDS,
    commands.map((c) => JSON.stringify(c) + "\n").join(""));
  const end = Date.now() + answerTimeoutMs;
  for (;;) {
    const lines = fs.readFileSync(output).subarray(start).toString().split("\n").slice(0, -1);
    const events = lines.filter((l) => l.startsWith("{")).map((l) => JSON.parse(l));
    if (events.some((e) => e.project)) return events;
    if (Date.now() > end) throw new Error("the program wrote no dump: " + JSON.stringify(lines));
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
}

// Web Mercator of the map at `zoom`: world pixels from degrees.
function worldPixel(lat, lon, zoom) {
  const size = 256 * Math.pow(2, zoom);
  const phi = (lat * Math.PI) / 180;
  return {
    x: ((lon + 180) / 360) * size,
    y: ((1 - Math.log(Math.tan(phi) + 1 / Math.cos(phi)) / Math.PI) / 2) * size,
  };
}

// A map page of its own browser, loaded and answered by its program; with the messages it sends
// and the fetch events it receives. The browser may also open the other pages given.
async function openMapPage(url, profile, viewport = defaultViewport, otherPages = []) {
  const context = await launch([url].concat(otherPages), profile, viewport);
  const page = context.pages()[0] || (await context.newPage());
  page.on("pageerror", (e) => console.log("page error: " + e.message));
  const sent = recordMessages(page);
  await page.goto(url);
  await page.locator("#map.leaflet-container").waitFor({ state: "visible" });
  await page.waitForFunction(() => document.getElementById("status").textContent
    .startsWith("TERRAWEFT"), null, { timeout: answerTimeoutMs });
  const events = await recordEvents(page,
    ["init", "progress", "cancelled", "fetchDone", "originSet", "placeDone"]);
  return { context, page, sent, events };
}

// Runs the file's checks and ends the process with the summary line.
function run(main) {
  main()
    .catch((e) => {
      failed++;
      console.log("FAIL browser session: " + e.message);
    })
    .finally(() => {
      console.log(passed + " passed, " + failed + " failed");
      process.exit(failed === 0 ? 0 : 1);
    });
}

function failures() {
  return failed;
}

module.exports = {
  answerTimeoutMs,
  check,
  expect,
  failures,
  launch,
  launchForTiming,
  openMapPage,
  programEvents,
  recordEvents,
  recordMessages,
  run,
  worldPixel,
};
