// What the browser tests share: headless Chromium (Debian's, through playwright-core) that may
// reach only the page's own origin, and the "ok"/"FAIL" lines with their closing count.
"use strict";

const { chromium } = require("playwright-core");

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

// A browser context on its own profile whose requests to any other origin are refused, and its
// first page.
async function openPage(profileDir, origin) {
  const context = await chromium.launchPersistentContext(profileDir, {
    executablePath: "/usr/bin/chromium",
    headless: true,
    args: chromiumFlags,
    viewport: { width: 900, height: 640 },
  });
  await context.route((url) => url.origin !== origin, (route) => route.abort());
  const page = context.pages()[0] || (await context.newPage());
  page.on("pageerror", (e) => console.log("page error: " + e.message));
  return { context, page };
}

// One line per check, "N passed, M failed" at the end; the process exits 1 on any failure.
class Checks {
  constructor() {
    this.passed = 0;
    this.failed = 0;
  }

  async check(name, body) {
    try {
      const note = await body();
      this.passed++;
      console.log("ok   " + name + (note ? ": " + note : ""));
    } catch (e) {
      this.failed++;
      console.log("FAIL " + name + ": " + e.message);
    }
  }

  run(main) {
    main()
      .catch((e) => {
        this.failed++;
        console.log("FAIL browser session: " + e.message);
      })
      .finally(() => {
        console.log(this.passed + " passed, " + this.failed + " failed");
        process.exit(this.failed === 0 ? 0 : 1);
      });
  }
}

function expect(condition, what) {
  if (!condition) throw new Error(what);
}

module.exports = { openPage, Checks, expect };
