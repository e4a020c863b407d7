// What the browser tests, the screenshots and the benchmark share: a static file server for the site on
// the loopback address, that remembers every path asked of it, and Debian's Chromium started headless.
"use strict";

const fs = require("fs");
const http = require("http");
const path = require("path");
const puppeteer = require("puppeteer-core");

const TYPES = {
  ".html": "text/html; charset=utf-8",
  ".js": "text/javascript; charset=utf-8",
  ".css": "text/css; charset=utf-8",
  ".wasm": "application/wasm",
  ".svg": "image/svg+xml",
  ".webmanifest": "application/manifest+json",
};

// Serves the folder at http://127.0.0.1:PORT/; resolves to {origin, served: [paths], close()}.
function serveSite(folder) {
  const root = path.resolve(folder);
  const served = [];
  const server = http.createServer((request, response) => {
    const urlPath = decodeURIComponent(new URL(request.url, "http://localhost").pathname);
    served.push(urlPath);
    const file = path.join(root, urlPath === "/" ? "index.html" : urlPath);
    if (!file.startsWith(root + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      response.writeHead(404);
      response.end();
      return;
    }
    response.writeHead(200, { "Content-Type": TYPES[path.extname(file)] || "application/octet-stream" });
    fs.createReadStream(file).pipe(response);
  });
  return new Promise((resolve) => {
    server.listen(0, "127.0.0.1", () => {
      const origin = `http://127.0.0.1:${server.address().port}`;
      resolve({ origin, served, close: () => new Promise((done) => server.close(done)) });
    });
  });
}

const CHROMIUM = process.env.CHROMIUM || "/usr/bin/chromium";

// Headless Chromium in English or Russian, in UTC, with every host but the loopback one unreachable.
function launchBrowser(language = "en-US") {
  return puppeteer.launch({
    executablePath: CHROMIUM,
    headless: true,
    args: [
      "--no-sandbox",
      "--disable-gpu",
      "--disable-dev-shm-usage",
      `--lang=${language}`,
      "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1",
      "--no-first-run",
      "--disable-background-networking",
      "--disable-component-update",
      "--disable-sync",
    ],
    env: { ...process.env, TZ: "UTC", LANGUAGE: language.replace("-", "_") },
  });
}

// Opens the site and waits until the converter in its worker has started.
async function openPage(browser, origin, { language = "en-US", width = 1100, height = 900 } = {}) {
  const page = await browser.newPage();
  await page.setViewport({ width, height });
  await page.setExtraHTTPHeaders({ "Accept-Language": language });
  await page.evaluateOnNewDocument((lang) => {
    Object.defineProperty(navigator, "language", { get: () => lang });
    Object.defineProperty(navigator, "languages", { get: () => [lang] });
  }, language);
  return page;
}

async function waitForConverter(page) {
  await page.waitForSelector("body[data-ready]");
  const state = await page.$eval("body", (b) => b.dataset.ready);
  if (state !== "true") throw new Error("the converter did not start: " + (await page.$eval("#core-state", (e) => e.textContent)));
}

// Chooses the target, clicks Convert and waits until every row has its result and the run has ended.
async function convertAll(page, format, compress = false) {
  await page.select("#format", format);
  await page.$eval("#compress", (box, on) => { box.checked = on; }, compress);
  await page.click("#convert");
  await page.waitForFunction(() => {
    const rows = [...document.querySelectorAll("#results [data-source]")];
    return document.getElementById("progress").hidden && rows.every((r) => r.dataset.result !== "...");
  });
}

module.exports = { serveSite, launchBrowser, openPage, waitForConverter, convertAll };
