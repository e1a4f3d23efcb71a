// How fast the page channel answers in a real browser: 100 "ping" round trips from the map page
// in headless Chromium, each from GIS.postMessage until the "pong" arrives in the page. Other
// hosts are refused by the browser's resolver, so no request waits on the test.
//   node tests/browser/ping_round_trips.js PAGE_URL PROFILE_DIR
// Prints the figures and a closing "N passed, M failed"; exits 1 on any failure.
"use strict";

const { answerTimeoutMs, check, expect, launchForTiming, run } = require("./harness");

const [pageUrl, profileDir] = process.argv.slice(2);
const rounds = 100;
const medianLimitMs = 5;

// The round trips' durations in ms, measured in the page. Each round starts when the previous
// one is over, its call settled too (the page sends one call at a time).
function roundTrips(page) {
  return page.evaluate(
    async ([rounds, timeoutMs]) => {
      let answered = null;
      GISBridge.on("pong", () => answered && answered(performance.now()));
      const ms = [];
      for (let i = 0; i < rounds; i++) {
        const start = performance.now();
        let call;
        const pongAt = await new Promise((resolve, reject) => {
          const timer = setTimeout(() => reject(new Error("no pong in round " + i)), timeoutMs);
          answered = (at) => {
            clearTimeout(timer);
            resolve(at);
          };
          call = GIS.postMessage(JSON.stringify({ type: "ping" }));
          call.catch(reject);
        });
        await call;
        ms.push(pongAt - start);
      }
      answered = null;
      return ms;
    },
    [rounds, answerTimeoutMs]);
}

function percentile(sorted, share) {
  return sorted[Math.min(sorted.length - 1, Math.ceil(share * sorted.length) - 1)];
}

run(async () => {
  const context = await launchForTiming(pageUrl, profileDir);
  const page = context.pages()[0] || (await context.newPage());
  await check(rounds + ' "ping" round trips, median under ' + medianLimitMs + " ms", async () => {
    const response = await page.goto(pageUrl);
    expect(response && response.ok(), "page answered " + (response && response.status()));
    // Calls wait for the page's channel to open; the first round may include that wait.
    await page.waitForFunction(() => window.GIS && window.GISBridge, null,
      { timeout: answerTimeoutMs });
    const ms = (await roundTrips(page)).sort((a, b) => a - b);
    const median = percentile(ms, 0.5);
    const figures = "median " + median.toFixed(2) + " ms, p90 " +
      percentile(ms, 0.9).toFixed(2) + " ms, max " + ms[ms.length - 1].toFixed(2) + " ms";
    console.log("     " + figures);
    expect(median < medianLimitMs, figures);
  });
  await context.close();
});
