// The browser face's figures, measured in headless Chromium: the size of the WebAssembly core and the
// page's scripts, the time a full 640 KB TR-DOS disk takes to become a compressed TD0 in the page's
// worker (first run and the runs after it), and the longest the page's main thread went without a frame
// during a batch, which shows whether the page stayed responsive.
// Usage: node bench/web_td0.js SITE_DIR [TRD_IMAGE]
"use strict";

const fs = require("fs");
const path = require("path");
const { serveSite, launchBrowser, openPage, waitForConverter, convertAll } = require("../tests/web/browser/harness");

const RUNS = 7;
const CHOOSING_MS = 1000;
const siteDir = process.argv[2] || "build-web/site";
const image = process.argv[3] || path.join(__dirname, "../tests/data/corpus/trd/zxtune-tiden.trd");

function siteSizes() {
  const size = (f) => fs.statSync(path.join(siteDir, f)).size;
  const scripts = fs.readdirSync(siteDir).filter((f) => f.endsWith(".js"));
  const wasm = size("tarvex.wasm");
  const js = scripts.reduce((sum, f) => sum + size(f), 0);
  return { wasm, js, scripts };
}

async function main() {
  const { wasm, js, scripts } = siteSizes();
  console.log(`tarvex.wasm ${wasm} bytes, scripts (${scripts.join(", ")}) ${js} bytes, together ${wasm + js} bytes ` +
              `(${((wasm + js) / 1024).toFixed(1)} KB)`);
  const site = await serveSite(siteDir);
  const browser = await launchBrowser();
  try {
    const page = await openPage(browser, site.origin);
    await page.goto(site.origin + "/");
    await waitForConverter(page);
    // A person takes a moment to choose files; meanwhile the engine finishes optimising the warmed-up code.
    await new Promise((resolve) => setTimeout(resolve, CHOOSING_MS));
    await (await page.$("#files")).uploadFile(image);
    const times = [];
    for (let run = 0; run < RUNS; run++) {
      await convertAll(page, "td0", true);
      const row = await page.$eval("#results [data-source]", (r) => ({ result: r.dataset.result, title: r.title }));
      if (row.result !== "Converted!") throw new Error(`not converted: ${row.result}`);
      times.push(parseFloat(row.title));
    }
    const later = times.slice(1).sort((a, b) => a - b);
    console.log(`${path.basename(image)} (${fs.statSync(image).size} bytes) to compressed TD0 in the worker: ` +
                `first run (${CHOOSING_MS} ms after the page is ready) ${times[0].toFixed(1)} ms, median of the next ${later.length} ` +
                `${later[Math.floor(later.length / 2)].toFixed(1)} ms (all: ${times.map((t) => t.toFixed(1)).join(", ")})`);

    // The main thread's longest gap between frames while ten copies of the disk are converted.
    const copies = [];
    const folder = fs.mkdtempSync(path.join(require("os").tmpdir(), "tarvex-bench-"));
    for (let i = 0; i < 10; i++) {
      copies.push(path.join(folder, `copy${i}.trd`));
      fs.copyFileSync(image, copies[i]);
    }
    await page.click("#clear");
    await (await page.$("#files")).uploadFile(...copies);
    await page.evaluate(() => {
      window.frameGaps = [];
      let last = performance.now();
      const tick = (now) => {
        window.frameGaps.push(now - last);
        last = now;
        if (!window.stopFrames) requestAnimationFrame(tick);
      };
      requestAnimationFrame(tick);
    });
    const started = Date.now();
    await convertAll(page, "td0", true);
    const batch = Date.now() - started;
    const longest = await page.evaluate(() => { window.stopFrames = true; return Math.max(...window.frameGaps); });
    console.log(`batch of 10 disks: ${batch} ms; longest gap between frames on the page meanwhile: ${longest.toFixed(1)} ms`);
    fs.rmSync(folder, { recursive: true, force: true });
  } finally {
    await browser.close();
    await site.close();
  }
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
