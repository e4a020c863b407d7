// The page in headless Chromium against tarvex-cli: real images converted through #files, #format and
// #convert to every format give the very bytes the command line writes, refusals carry its reasons,
// the zip of all outputs holds the same files, the viewer shows a disk's map and catalogue, its files download
// as tarvex-cli files extract writes them and Hobeta files added to it give the image tarvex-cli files add
// writes, and no request leaves the page's origin.
// Usage: node page_test.js SITE_DIR TARVEX_CLI CORPUS_DIR
"use strict";

const assert = require("assert");
const { execFileSync } = require("child_process");
const fs = require("fs");
const os = require("os");
const path = require("path");
const { serveSite, launchBrowser, openPage, waitForConverter, convertAll } = require("./harness");

const [siteDir, cli, corpus] = process.argv.slice(2);
if (!siteDir || !cli || !corpus) {
  console.error("usage: node page_test.js SITE_DIR TARVEX_CLI CORPUS_DIR");
  process.exit(2);
}
if (!fs.existsSync(corpus)) {
  console.error(`sample corpus not found at ${corpus}`);
  process.exit(1);
}
if (!fs.existsSync(path.join(siteDir, "tarvex.wasm"))) {
  console.error(`no site in ${siteDir}: build it with make web`);
  process.exit(1);
}

// TD0 images carry the time they were written: the command line runs under this fixed clock and the
// page's worker is given the same one.
const FIXED_TIME = "2024-05-06 07:08:09";
const FIXED_MILLISECONDS = Date.UTC(2024, 4, 6, 7, 8, 9);

const SOURCES = [
  "trd/zesarux-enjoy.trd",
  "scl/nedoos-stars.scl",
  "td0/zxtune-ufo1.td0",
  "fdi/instapack-isdos-base.fdi",
  "udi/unrealng-beta128-empty.udi",  // 86 cylinders
  "td0/fluxfox-sector-test-360k.td0",  // a PC disk: no TR-DOS target takes it
].map((f) => path.join(corpus, f));
const TARGETS = [
  ["udi", false], ["trd", false], ["fdi", false], ["scl", false],
  ["td0", false], ["td0", true], ["pro", false], ["kdi", false],
];

const work = fs.mkdtempSync(path.join(os.tmpdir(), "tarvex-web-"));
const results = { passed: 0, failed: 0 };

async function check(name, body) {
  try {
    await body();
    results.passed++;
    console.log(`ok - ${name}`);
  } catch (error) {
    results.failed++;
    console.log(`not ok - ${name}\n  ${String(error.stack || error).replace(/\n/g, "\n  ")}`);
  }
}

function runCli(args) {
  try {
    return execFileSync("faketime", ["-f", FIXED_TIME, cli, ...args], { env: { ...process.env, TZ: "UTC" } }).toString();
  } catch (error) {
    return error.stdout.toString();  // exit status 1: some files were not converted
  }
}

// What tarvex-cli says for each source: {result, reason, output (Buffer) or null}, by source name.
function expectedResults(format, compress) {
  const out = path.join(work, `${format}${compress ? "-packed" : ""}`);
  const lines = runCli(["convert", "-q", "--to", format, ...(compress ? ["--compress"] : []), "-o", out, ...SOURCES]);
  const expected = new Map();
  let last = null;
  for (const line of lines.trim().split("\n")) {
    if (line.startsWith("  ") && last) {
      last.losses = line.trim();  // what the output lacks, under its result line
      continue;
    }
    const converted = line.match(/^(.*) -> (.*): (Converted!|Error save file!)(?: \((.*)\))?$/);
    const unread = line.match(/^(.*): (Error open file!) \((.*)\)$/);
    if (converted) {
      const [, source, output, result, reason = ""] = converted;
      last = {
        result, reason, losses: "", outputName: path.basename(output),
        output: result === "Converted!" ? fs.readFileSync(output) : null,
      };
      expected.set(path.basename(source), last);
    } else if (unread) {
      last = { result: unread[2], reason: unread[3], losses: "", output: null };
      expected.set(path.basename(unread[1]), last);
    } else {
      throw new Error(`unexpected line from tarvex-cli: ${line}`);
    }
  }
  return expected;
}

// The rows as the page shows them, with each output's bytes taken from its download link.
function pageRows(page) {
  return page.$$eval("#results [data-source]", async (rows) => Promise.all(rows.map(async (row) => {
    const link = row.querySelector("a[download]");
    const reason = row.querySelector(".reason");
    const losses = row.querySelector(".losses");
    let bytes = null;
    if (link) {
      const data = new Uint8Array(await (await fetch(link.href)).arrayBuffer());
      let binary = "";
      for (let i = 0; i < data.length; i += 0x8000) binary += String.fromCharCode(...data.subarray(i, i + 0x8000));
      bytes = btoa(binary);
    }
    return {
      source: row.dataset.source,
      result: row.dataset.result,
      reason: reason ? reason.textContent.replace(/^ \((.*)\)$/, "$1") : "",
      losses: losses ? losses.textContent : "",
      download: link ? link.getAttribute("download") : null,
      bytes,
    };
  })));
}

function firstDifference(a, b) {
  let i = 0;
  while (i < a.length && i < b.length && a[i] === b[i]) i++;
  return i;
}

// CRC-32 as zip archives use it, bit by bit.
function crc32(bytes) {
  let crc = 0xffffffff;
  for (const byte of bytes) {
    crc ^= byte;
    for (let k = 0; k < 8; k++) crc = crc & 1 ? (crc >>> 1) ^ 0xedb88320 : crc >>> 1;
  }
  return (crc ^ 0xffffffff) >>> 0;
}

// The stored entries of a zip archive, by name.
function readZip(buffer) {
  const entries = new Map();
  const end = buffer.lastIndexOf(Buffer.from([0x50, 0x4b, 0x05, 0x06]));
  let at = buffer.readUInt32LE(end + 16);
  for (let i = 0; i < buffer.readUInt16LE(end + 10); i++) {
    assert.strictEqual(buffer.readUInt32LE(at), 0x02014b50);
    const size = buffer.readUInt32LE(at + 24);
    const nameLength = buffer.readUInt16LE(at + 28);
    const local = buffer.readUInt32LE(at + 42);
    const name = buffer.subarray(at + 46, at + 46 + nameLength).toString("utf8");
    const dataAt = local + 30 + buffer.readUInt16LE(local + 26) + buffer.readUInt16LE(local + 28);
    const bytes = buffer.subarray(dataAt, dataAt + size);
    assert.strictEqual(buffer.readUInt32LE(at + 16), crc32(bytes), `${name}: CRC-32`);
    assert.strictEqual(buffer.readUInt32LE(local), 0x04034b50, `${name}: local header`);
    entries.set(name, bytes);
    at += 46 + nameLength + buffer.readUInt16LE(at + 30) + buffer.readUInt16LE(at + 32);
  }
  return entries;
}

async function main() {
  // A UDI that the reader takes, made by the command line from the TRD.
  const madeUdi = path.join(work, "made-from-trd.udi");
  runCli(["convert", "-q", "--to", "udi", "-o", work, SOURCES[0]]);
  fs.renameSync(path.join(work, "zesarux-enjoy.udi"), madeUdi);
  SOURCES.push(madeUdi);
  // The same UDI with one byte changed: its CRC no longer holds and the reader refuses it.
  const damagedUdi = path.join(work, "damaged.udi");
  const damaged = fs.readFileSync(madeUdi);
  damaged[200] ^= 0xff;
  fs.writeFileSync(damagedUdi, damaged);
  SOURCES.push(damagedUdi);

  const site = await serveSite(siteDir);
  const browser = await launchBrowser();
  const foreign = [];
  const requested = [];
  try {
    const page = await openPage(browser, site.origin);
    const watch = (request) => {
      const url = request.url();
      requested.push(url);
      if (!url.startsWith(site.origin + "/") && !url.startsWith("blob:" + site.origin) && !url.startsWith("data:")) foreign.push(url);
    };
    page.on("request", watch);
    // The worker's clock is fixed before anything is converted.
    const workerClock = new Promise((resolve) => page.on("workercreated", (worker) =>
      worker.evaluate((ms) => { Date.now = () => ms; }, FIXED_MILLISECONDS).then(resolve)));
    await page.goto(site.origin + "/");
    await waitForConverter(page);
    await workerClock;

    await check("the format list offers every format of the command line, by lower-case name", async () => {
      const values = await page.$$eval("#format option", (options) => options.map((o) => o.value));
      assert.deepStrictEqual(values.slice(0, 7), ["udi", "trd", "td0", "fdi", "pro", "scl", "kdi"]);
      assert.ok(values.includes("dsk"), "DSK offered");
      assert.ok(values.includes("hfe"), "HFE offered");
      assert.ok(!values.includes(""), "a place without a writer is not offered");
      const labels = await page.$$eval("#format option", (options) => options.map((o) => o.textContent));
      assert.strictEqual(labels[values.indexOf("hfe")], "HxC floppy image (*.hfe)", "the converter's own description");
    });

    const input = await page.$("#files");
    await input.uploadFile(...SOURCES);
    await check("one row per chosen file, named as the file", async () => {
      const names = await page.$$eval("#results [data-source]", (rows) => rows.map((r) => r.dataset.source));
      assert.deepStrictEqual(names, SOURCES.map((s) => path.basename(s)));
    });
    await check("a file of the same name is refused while adding, as the window does", async () => {
      await input.uploadFile(SOURCES[1]);
      const rows = await page.$$eval("#results [data-source]", (r) => r.length);
      assert.strictEqual(rows, SOURCES.length);
      const notice = await page.$eval("#notice", (n) => n.textContent);
      assert.strictEqual(notice, `A file named "${path.basename(SOURCES[1])}" is already in the list...`);
    });

    for (const [format, compress] of TARGETS) {
      const label = `${format}${compress ? " compressed" : ""}`;
      const expected = expectedResults(format, compress);
      await convertAll(page, format, compress);
      const rows = await pageRows(page);
      await check(`to ${label}: every result, reason, loss line and download equals tarvex-cli's`, async () => {
        assert.strictEqual(rows.length, SOURCES.length);
        for (const row of rows) {
          const want = expected.get(row.source);
          assert.ok(want, `no line from tarvex-cli for ${row.source}`);
          assert.strictEqual(row.result, want.result, row.source);
          assert.strictEqual(row.reason, want.reason, row.source);
          assert.strictEqual(row.losses, want.losses, row.source);
          if (want.output) {
            assert.strictEqual(row.download, want.outputName, row.source);
            const got = Buffer.from(row.bytes, "base64");
            assert.ok(got.equals(want.output), `${row.source}: ${got.length} bytes against ${want.output.length}, ` +
              `first difference at ${firstDifference(got, want.output)}`);
          } else {
            assert.strictEqual(row.download, null, `${row.source}: a download for a refused file`);
          }
        }
        if (!["pro", "kdi"].includes(format)) {
          assert.ok(rows.some((r) => r.result === "Converted!"), "nothing converted");
          assert.ok(rows.some((r) => r.losses.startsWith("dropped: ")), "no loss line: the cut TRD has one");
        }
      });
      if (format === "trd") {
        await check("the zip of all outputs holds each download under its name", async () => {
          const downloads = path.join(work, "downloads");
          fs.mkdirSync(downloads, { recursive: true });
          const session = await page.createCDPSession();
          await session.send("Browser.setDownloadBehavior", { behavior: "allow", downloadPath: downloads });
          await page.click("#download-all");
          const zipFile = path.join(downloads, "tarvex-trd.zip");
          for (let i = 0; i < 200 && !fs.existsSync(zipFile); i++) await new Promise((r) => setTimeout(r, 50));
          const entries = readZip(fs.readFileSync(zipFile));
          const converted = [...expected.values()].filter((e) => e.output);
          assert.deepStrictEqual([...entries.keys()].sort(), converted.map((e) => e.outputName).sort());
          for (const e of converted) assert.ok(entries.get(e.outputName).equals(e.output), e.outputName);
        });
      }
    }

    await check("the viewer shows the sector map and the TR-DOS catalogue of a disk", async () => {
      await page.click('#results [data-source="nedoos-stars.scl"] button.view');
      await page.waitForSelector('#viewer[data-source="nedoos-stars.scl"]:not([hidden]) .map-row');
      const view = await page.evaluate(() => ({
        headers: [...document.querySelectorAll("#sector-map .tile.header")].map((t) => t.textContent),
        firstRow: [...document.querySelectorAll("#sector-map .map-row:first-child .tile:not(.header)")].map((t) => t.textContent),
        names: [...document.querySelectorAll("#catalogue table.catalogue tbody tr td:nth-child(2)")].map((t) => t.textContent),
        info: document.getElementById("info-text").textContent,
      }));
      assert.strictEqual(view.headers[0], "T000");
      assert.strictEqual(view.firstRow.length, 16);
      assert.strictEqual(view.firstRow[0], "s01");
      assert.strictEqual(view.firstRow[15], "s16");
      assert.strictEqual(view.names.length, 1);
      const cliInfo = runCli(["info", SOURCES[1]]);
      assert.strictEqual(view.info, cliInfo.slice(path.dirname(SOURCES[1]).length + 1));
    });

    await check("the viewer of a refused image gives the reader's reason", async () => {
      await page.click('#results [data-source="damaged.udi"] button.view');
      await page.waitForSelector('#viewer[data-source="damaged.udi"]:not([hidden])');
      const shown = await page.$eval("#sector-map", (m) => m.textContent);
      assert.strictEqual(shown, "Error open file! (UDI file CRC error!)");
    });

    await check("the viewer of a single-sided disk shows its own tracks and whole sector numbers", async () => {
      const plus3 = path.join(corpus, "dsk/zesarux-paw-plus3.dsk");
      await input.uploadFile(plus3);
      await page.click('#results [data-source="zesarux-paw-plus3.dsk"] button.view');
      await page.waitForSelector('#viewer[data-source="zesarux-paw-plus3.dsk"]:not([hidden]) .map-row');
      const view = await page.evaluate(() => ({
        headers: [...document.querySelectorAll("#sector-map .tile.header")].map((t) => t.textContent),
        labels: [...document.querySelectorAll("#sector-map .tile:not(.header):not(.empty)")].map((t) => t.textContent),
        overflowing: [...document.querySelectorAll("#sector-map .tile")]
          .filter((t) => t.scrollWidth > t.clientWidth).map((t) => t.textContent),
      }));
      assert.deepStrictEqual(view.headers, Array.from({ length: 40 }, (_, c) => `T${String(2 * c).padStart(3, "0")}`));
      assert.strictEqual(view.labels.length, 360);
      assert.deepStrictEqual([...new Set(view.labels)].sort(), Array.from({ length: 9 }, (_, i) => `s${193 + i}`));
      assert.deepStrictEqual(view.overflowing, [], "every label fits its tile");
    });

    await check("a catalogue row downloads its file as tarvex-cli files extract writes it", async () => {
      const downloads = path.join(work, "file-downloads");
      fs.mkdirSync(downloads, { recursive: true });
      const session = await page.createCDPSession();
      await session.send("Browser.setDownloadBehavior", { behavior: "allow", downloadPath: downloads });
      await page.click('#results [data-source="zesarux-enjoy.trd"] button.view');
      await page.waitForSelector('#viewer[data-source="zesarux-enjoy.trd"]:not([hidden]) #catalogue button.extract');
      await page.click("#catalogue tbody tr:nth-child(2) button.extract");
      const cliFolder = path.join(work, "cli-files");
      execFileSync(cli, ["files", "extract", "-o", cliFolder, SOURCES[0], "#2"]);
      const [name] = fs.readdirSync(cliFolder);
      const got = path.join(downloads, name);
      for (let i = 0; i < 200 && !fs.existsSync(got); i++) await new Promise((r) => setTimeout(r, 50));
      assert.ok(fs.readFileSync(got).equals(fs.readFileSync(path.join(cliFolder, name))), name);
    });

    await check("Hobeta files added to the viewed disk give the image tarvex-cli files add writes", async () => {
      const hobetas = path.join(work, "stars-files");
      execFileSync(cli, ["files", "extract", "-o", hobetas, path.join(corpus, "trd/zxtune-tiden.trd"), "#1", "#2"]);
      const added = fs.readdirSync(hobetas).map((f) => path.join(hobetas, f));
      const expectedImage = path.join(work, "added", path.basename(SOURCES[0]));
      fs.mkdirSync(path.dirname(expectedImage));
      fs.copyFileSync(SOURCES[0], expectedImage);
      execFileSync(cli, ["files", "add", expectedImage, ...added]);
      const before = await page.$$eval("#catalogue tbody tr", (rows) => rows.length);
      await (await page.$("#add-files")).uploadFile(...added);
      await page.waitForFunction((n) => document.querySelectorAll("#catalogue tbody tr").length === n, {}, before + added.length);
      await convertAll(page, "trd");
      const row = (await pageRows(page)).find((r) => r.source === path.basename(SOURCES[0]));
      assert.strictEqual(row.result, "Converted!");
      assert.ok(Buffer.from(row.bytes, "base64").equals(fs.readFileSync(expectedImage)), "the changed disk as TRD");
    });

    await check("no request leaves the page's origin, and the site's own files were fetched", async () => {
      assert.deepStrictEqual(foreign, []);
      for (const file of ["/", "/page.js", "/worker.js", "/tarvex.js", "/tarvex.wasm"]) {
        assert.ok(site.served.includes(file), `${file} was not fetched: ${site.served}`);
      }
      // The worker's own requests are among those watched, so a foreign one made there would be seen too.
      assert.ok(requested.includes(`${site.origin}/tarvex.wasm`), `the worker's requests were not watched: ${requested}`);
    });

    await check("under a Russian browser language the core's reasons are the Russian ones", async () => {
      const russian = await openPage(browser, site.origin, { language: "ru-RU" });
      russian.on("request", watch);
      await russian.goto(site.origin + "/");
      await waitForConverter(russian);
      const unsupported = path.join(work, "notes.txt");
      fs.writeFileSync(unsupported, "not an image");
      await (await russian.$("#files")).uploadFile(SOURCES[0], unsupported);
      await convertAll(russian, "trd");
      const shown = await russian.$$eval("#results [data-source]", (rows) =>
        rows.map((r) => [r.dataset.source, r.dataset.result, r.querySelector(".reason")?.textContent ?? ""]));
      assert.deepStrictEqual(shown.map((r) => r[1]), ["Converted!", "Error open file!"], JSON.stringify(shown));
      assert.ok(shown[1][2].includes("Данный тип файлов не поддерживается!"), JSON.stringify(shown));
      await russian.close();
    });
  } finally {
    await browser.close();
    await site.close();
    fs.rmSync(work, { recursive: true, force: true });
  }
  console.log(`${results.passed} passed, ${results.failed} failed`);
  process.exit(results.failed ? 1 : 0);
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
