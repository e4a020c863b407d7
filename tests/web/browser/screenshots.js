// Pictures of the page as a user sees it, in English and in Russian: the list before a batch, the
// progress bar during it, the results after it, and the viewer on a TR-DOS disk and on a single-sided +3 disk.
// Usage: node screenshots.js SITE_DIR OUTPUT_DIR [CORPUS_DIR]   (writes OUTPUT_DIR/web-LANG-*.png)
"use strict";

const fs = require("fs");
const path = require("path");
const { serveSite, launchBrowser, openPage, waitForConverter } = require("./harness");

const [siteDir, outDir, corpus = path.join(__dirname, "../../data/corpus")] = process.argv.slice(2);

// Real disks, most of them full 640 KB TR-DOS images, so that the batch runs long enough to be caught
// halfway, one image that its reader refuses and one file that no reader takes.
function sources() {
  const pick = (folder, names) => names.map((n) => path.join(corpus, folder, n)).filter((f) => fs.existsSync(f));
  return [
    ...pick("trd", ["zxtune-tiden.trd", "nedoos-sys.trd", "zxevo-256c-5.trd", "unrealng-atarin.trd",
                    "zesarux-enjoy.trd", "fdimages-betadisk-empty.trd"]),
    ...pick("scl", ["zxvarsrc-nfoview.scl", "instapack-winboot.scl"]),
    ...pick("td0", ["zxtune-ufo1.td0", "instapack-mydisk39.td0"]),
    ...pick("fdi", ["instapack-isdos-base.fdi"]),
    ...pick("udi", ["unrealng-beta128-empty.udi"]),
    ...pick("dsk", ["zesarux-paw-plus3.dsk"]),  // single-sided, sectors numbered from 193
    ...pick("..", ["lzh-roundtrip-1575.bin"]),  // a codec test fragment: no reader takes its name
  ];
}

async function shoot(browser, origin, language, tag) {
  const page = await openPage(browser, origin, { language, width: 1100, height: 1000 });
  await page.goto(origin + "/");
  await waitForConverter(page);
  const picture = (name) => page.screenshot({ path: path.join(outDir, `web-${tag}-${name}.png`), fullPage: true });

  await picture("empty");
  await (await page.$("#files")).uploadFile(...sources());
  await page.select("#format", "td0");
  await page.$eval("#compress", (box) => { box.checked = true; box.dispatchEvent(new Event("change")); });
  await picture("before");

  await page.click("#convert");
  await page.waitForFunction(() => document.getElementById("progress-bar").value >= 25);
  await picture("during");
  await page.waitForFunction(() => document.getElementById("progress").hidden);
  await picture("after");

  await page.click('#results [data-source="zxtune-tiden.trd"] button.view');
  await page.waitForSelector("#viewer:not([hidden]) .map-row");
  await page.$eval("#viewer details", (d) => { d.open = true; });
  await page.$eval("#viewer", (v) => v.scrollIntoView());
  await picture("viewer");
  if (await page.$('#results [data-source="zesarux-paw-plus3.dsk"]')) {
    await page.click('#results [data-source="zesarux-paw-plus3.dsk"] button.view');
    await page.waitForSelector('#viewer[data-source="zesarux-paw-plus3.dsk"]:not([hidden]) .map-row');
    await page.$eval("#viewer", (v) => v.scrollIntoView());
    await picture("viewer-single-sided");
  }
  await page.close();
}

async function main() {
  fs.mkdirSync(outDir, { recursive: true });
  const site = await serveSite(siteDir);
  try {
    for (const [language, tag] of [["en-US", "en"], ["ru-RU", "ru"]]) {
      const browser = await launchBrowser(language);
      try {
        await shoot(browser, site.origin, language, tag);
      } finally {
        await browser.close();
      }
    }
  } finally {
    await site.close();
  }
  console.log(`screenshots in ${outDir}`);
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
