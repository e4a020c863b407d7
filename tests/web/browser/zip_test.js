// The page's zip writer read back by an independent reader (Python's zipfile): names in UTF-8, stored
// bytes and CRC-32 intact, an empty file and an empty archive included.
// Usage: node zip_test.js
"use strict";

const assert = require("assert");
const { execFileSync } = require("child_process");
const fs = require("fs");
const os = require("os");
const path = require("path");
const test = require("node:test");
const { makeZip, zipCrc32 } = require("../../../web/zip.js");

// What Python's zipfile finds in the archive: [name, base64 of the bytes, date and time] per entry, and
// the first bad entry testzip() reports (null when all are good).
function readWithPython(archive) {
  const file = path.join(fs.mkdtempSync(path.join(os.tmpdir(), "tarvex-zip-")), "out.zip");
  fs.writeFileSync(file, archive);
  const script = [
    "import base64, json, sys, zipfile",
    "z = zipfile.ZipFile(sys.argv[1])",
    "print(json.dumps({'bad': z.testzip(), 'entries': [[i.filename, base64.b64encode(z.read(i)).decode(),",
    "  list(i.date_time), i.compress_type] for i in z.infolist()]}))",
  ].join("\n");
  try {
    return JSON.parse(execFileSync("python3", ["-c", script, file]).toString());
  } finally {
    fs.rmSync(path.dirname(file), { recursive: true, force: true });
  }
}

test("CRC-32 of known strings", () => {
  assert.strictEqual(zipCrc32(new Uint8Array()), 0);
  assert.strictEqual(zipCrc32(new TextEncoder().encode("123456789")), 0xcbf43926);
});

test("an archive of several files reads back whole", () => {
  const pattern = new Uint8Array(70000).map((_, i) => (i * 7) & 0xff);
  const entries = [
    { name: "game.trd", bytes: pattern },
    { name: "пустой.scl", bytes: new Uint8Array() },
    { name: "last.td0", bytes: new Uint8Array([0x74, 0x64, 0, 0xff]) },
  ];
  const read = readWithPython(makeZip(entries, new Date(2024, 4, 6, 7, 8, 10)));
  assert.strictEqual(read.bad, null);
  assert.deepStrictEqual(read.entries.map((e) => e[0]), entries.map((e) => e.name));
  read.entries.forEach(([, data, when, method], i) => {
    assert.ok(Buffer.from(data, "base64").equals(Buffer.from(entries[i].bytes)), entries[i].name);
    assert.deepStrictEqual(when, [2024, 5, 6, 7, 8, 10]);
    assert.strictEqual(method, 0);  // stored
  });
});

test("an empty archive is still a valid one", () => {
  const archive = makeZip([]);
  assert.strictEqual(archive.length, 22);
  assert.deepStrictEqual(readWithPython(archive), { bad: null, entries: [] });
});
