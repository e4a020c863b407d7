// The page as an installed web app in headless Chromium: its manifest names it, its icon and the image
// types it opens; after one visit the server is gone and the network switched off, and the page reloads
// and converts three samples to the very bytes tarvex-cli writes.
// Usage: node offline_test.js SITE_DIR TARVEX_CLI CORPUS_DIR
"use strict";

const assert = require("assert");
const { execFileSync } = require("child_process");
const fs = require("fs");
const os = require("os");
const path = require("path");
const { serveSite, launchBrowser, openPage, waitForConverter, convertAll } = require("./harness");

const [siteDir, cli, corpus] = process.argv.slice(2);
if (!siteDir || !cli || !corpus) {
  console.error("usage: node offline_test.js SITE_DIR TARVEX_CLI CORPUS_DIR");
  process.exit(2);
}
for (const needed of [corpus, path.join(siteDir, "service-worker.js"), path.join(siteDir, "manifest.webmanifest")]) {
  if (!fs.existsSync(needed)) {
    console.error(`${needed} not found: build the site with make web`);
    process.exit(1);
  }
}

const SOURCES = ["trd/zesarux-enjoy.trd", "scl/nedoos-stars.scl", "fdi/instapack-isdos-base.fdi"]
  .map((f) => path.join(corpus, f));
const work = fs.mkdtempSync(path.join(os.tmpdir(), "tarvex-offline-"));

async function main() {
  const manifest = JSON.parse(fs.readFileSync(path.join(siteDir, "manifest.webmanifest"), "utf8"));
  assert.strictEqual(manifest.name, "Tarvex");
  assert.ok(manifest.icons.every((icon) => fs.existsSync(path.join(siteDir, icon.src))), "every icon is in the site");
  const opened = manifest.file_handlers.flatMap((h) => Object.values(h.accept).flat()).sort();
  assert.deepStrictEqual(opened, [".dsk", ".fdi", ".hfe", ".kdi", ".pro", ".scl", ".td0", ".trd", ".udi"]);

  const lines = execFileSync(cli, ["convert", "-q", "--to", "udi", "-o", work, ...SOURCES]).toString();
  assert.strictEqual(lines.split("\n").filter((l) => l.endsWith(": Converted!")).length, SOURCES.length, lines);

  const site = await serveSite(siteDir);
  const browser = await launchBrowser();
  try {
    const page = await openPage(browser, site.origin);
    await page.goto(site.origin + "/");
    await waitForConverter(page);
    const kept = await page.evaluate(() => Promise.race([
      navigator.serviceWorker.ready.then(() => true),
      new Promise((resolve) => setTimeout(() => resolve(false), 30000)),
    ]));
    assert.ok(kept, "no service worker took the site in 30 s");

    await site.close();
    await page.setOfflineMode(true);
    const before = site.served.length;
    await page.reload();
    await waitForConverter(page);
    assert.ok(await page.evaluate(() => navigator.serviceWorker.controller !== null), "the kept site answered");

    await (await page.$("#files")).uploadFile(...SOURCES);
    await convertAll(page, "udi");
    const rows = await page.$$eval("#results [data-source]", (rows) => Promise.all(rows.map(async (row) => {
      const link = row.querySelector("a[download]");
      const bytes = link ? [...new Uint8Array(await (await fetch(link.href)).arrayBuffer())] : [];
      return { result: row.dataset.result, name: link && link.getAttribute("download"), bytes };
    })));
    assert.strictEqual(rows.length, SOURCES.length);
    for (const row of rows) {
      assert.strictEqual(row.result, "Converted!", row.name);
      assert.ok(Buffer.from(row.bytes).equals(fs.readFileSync(path.join(work, row.name))), `${row.name} differs`);
    }
    assert.strictEqual(site.served.length, before, "nothing reached the server once it was gone");
    console.log("ok - after one visit the page reloads and converts offline, as tarvex-cli converts");
  } finally {
    await browser.close();
    fs.rmSync(work, { recursive: true, force: true });
  }
}

main().catch((error) => {
  console.error(`not ok - ${error.stack || error}`);
  process.exit(1);
});
