// What the browser test files share: headless Chromium with every other host refused, named
// checks counted into the closing "N passed, M failed" line, and the messages a page posts to
// the program through its channel.
"use strict";

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

// A browser whose requests to any host but the page's own are refused, so nothing reaches an
// outside host (the map's base layer never loads).
async function launch(pageUrl, profileDir, viewport = { width: 900, height: 640 }) {
  const origin = new URL(pageUrl).origin;
  const context = await chromium.launchPersistentContext(profileDir, {
    executablePath: "/usr/bin/chromium",
    headless: true,
    args: chromiumFlags,
    viewport,
  });
  await context.route((url) => url.origin !== origin, (route) => route.abort());
  return context;
}

// Every message the page posts through GIS.postMessage, as it reaches the program (parsed when
// it is JSON). `since()` marks a point; `waitFor(type, mark)` gives the first message of that
// type after the mark.
function recordMessages(page) {
  const messages = [];
  page.on("request", (request) => {
    if (request.method() !== "POST" || !new URL(request.url()).pathname.startsWith(channelCall))
      return;
    try {
      messages.push(JSON.parse(request.postData()));
    } catch (e) {
      messages.push({ unreadable: request.postData() });
    }
  });
  return {
    since: () => messages.length,
    after: (mark) => messages.slice(mark),
    waitFor: async (type, mark, timeoutMs = answerTimeoutMs) => {
      const end = Date.now() + timeoutMs;
      for (;;) {
        const found = messages.slice(mark).find((m) => m.type === type);
        if (found) return found;
        if (Date.now() > end) throw new Error('the page sent no "' + type + '"');
        await new Promise((resolve) => setTimeout(resolve, 20));
      }
    },
  };
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

module.exports = { answerTimeoutMs, check, expect, failures, launch, recordMessages, run };
