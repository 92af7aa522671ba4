// Drives the web build of the show in headless Chromium and checks it.
//   node drive.js URL [check...]
// Checks: ready, clock, escape, end. Each prints one line; the exit status
// is 1 when any failed.
"use strict";
const puppeteer = require("puppeteer-core");

const url = process.argv[2];
const checks = process.argv.slice(3);
const browserPath = process.env.QUILLON_CHROMIUM || "/usr/bin/chromium";

async function openPage(browser, query) {
  const page = await browser.newPage();
  const errors = [];
  page.on("console", (m) => { if (m.type() === "error") errors.push(m.text()); });
  page.on("pageerror", (e) => errors.push(String(e)));
  await page.goto(url + query, { waitUntil: "load" });
  return { page, errors };
}

async function waitPhase(page, phases, seconds) {
  await page.waitForFunction((p) => window.quillon && p.includes(window.quillon.phase),
                             { timeout: seconds * 1000, polling: 100 }, phases);
  return page.evaluate(() => window.quillon.phase);
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

const tests = {
  // The page loads without console errors and reaches "ready".
  async ready(browser) {
    const { page, errors } = await openPage(browser, "");
    const phase = await waitPhase(page, ["ready", "failed"], 120);
    await page.close();
    if (phase !== "ready") throw new Error("phase " + phase);
    if (errors.length) throw new Error("console errors: " + errors.join(" | "));
  },
  // The music position advances at 176,400 bytes per second within 2 %.
  async clock(browser) {
    const { page } = await openPage(browser, "?autoplay");
    await waitPhase(page, ["playing", "failed"], 120);
    await page.waitForFunction(() => window.quillon.position() > 0, { timeout: 120000, polling: 50 });
    const t0 = Date.now(), p0 = await page.evaluate(() => window.quillon.position());
    await sleep(10000);
    const t1 = Date.now(), p1 = await page.evaluate(() => window.quillon.position());
    await page.close();
    const rate = (p1 - p0) / ((t1 - t0) / 1000);
    console.log("  position advances " + rate.toFixed(0) + " bytes per second");
    if (Math.abs(rate / 176400 - 1) > 0.02) throw new Error("rate " + rate.toFixed(0));
  },
  // Escape ends the show.
  async escape(browser) {
    const { page } = await openPage(browser, "?autoplay");
    await waitPhase(page, ["playing", "failed"], 120);
    await page.waitForFunction(() => window.quillon.position() > 0, { timeout: 120000, polling: 50 });
    await page.keyboard.press("Escape");
    const phase = await waitPhase(page, ["ended", "failed"], 60);
    await page.close();
    if (phase !== "ended") throw new Error("phase " + phase);
  },
  // The whole show plays to its end by itself.
  async end(browser) {
    const { page } = await openPage(browser, "?autoplay");
    const phase = await waitPhase(page, ["ended", "failed"], 300);
    await page.close();
    if (phase !== "ended") throw new Error("phase " + phase);
  },
};

(async () => {
  const browser = await puppeteer.launch({
    executablePath: browserPath,
    headless: true,
    args: ["--headless=new", "--no-sandbox", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
           "--autoplay-policy=no-user-gesture-required"],
  });
  let failed = 0;
  try {
    for (const name of checks) {
      try {
        await tests[name](browser);
        console.log("ok   " + name);
      } catch (e) {
        failed++;
        console.log("FAIL " + name + ": " + e.message);
      }
    }
  } finally {
    await browser.close();
  }
  process.exit(failed ? 1 : 0);
})();
