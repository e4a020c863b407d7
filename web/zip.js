// A zip archive of stored (uncompressed) files, for downloading every output at once. Disk images are
// small and the archive is made in one step in memory; names are UTF-8 (general-purpose flag bit 11).
"use strict";

const ZIP_CRC_TABLE = (() => {
  const table = new Uint32Array(256);
  for (let n = 0; n < 256; n++) {
    let c = n;
    for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    table[n] = c >>> 0;
  }
  return table;
})();

function zipCrc32(bytes) {
  let crc = 0xffffffff;
  for (let i = 0; i < bytes.length; i++) crc = ZIP_CRC_TABLE[(crc ^ bytes[i]) & 0xff] ^ (crc >>> 8);
  return (crc ^ 0xffffffff) >>> 0;
}

// MS-DOS date and time words of a Date (two-second steps, years from 1980).
function zipDosTime(date) {
  const time = (date.getHours() << 11) | (date.getMinutes() << 5) | (date.getSeconds() >> 1);
  const day = ((Math.max(date.getFullYear(), 1980) - 1980) << 9) | ((date.getMonth() + 1) << 5) | date.getDate();
  return { time, day };
}

// entries: [{name, bytes: Uint8Array}] -> Uint8Array of the whole archive.
function makeZip(entries, date = new Date()) {
  const LOCAL_HEADER = 30, CENTRAL_HEADER = 46, END_RECORD = 22;
  const VERSION = 20, UTF8_NAMES = 0x0800, STORED = 0;
  const encoder = new TextEncoder();
  const { time, day } = zipDosTime(date);
  const files = entries.map((e) => ({ name: encoder.encode(e.name), bytes: e.bytes, crc: zipCrc32(e.bytes) }));
  let size = END_RECORD;
  for (const f of files) size += LOCAL_HEADER + CENTRAL_HEADER + 2 * f.name.length + f.bytes.length;
  const out = new Uint8Array(size);
  const view = new DataView(out.buffer);
  let at = 0;
  const u16 = (v) => { view.setUint16(at, v, true); at += 2; };
  const u32 = (v) => { view.setUint32(at, v, true); at += 4; };
  const put = (bytes) => { out.set(bytes, at); at += bytes.length; };
  const common = (f) => {
    u16(VERSION); u16(UTF8_NAMES); u16(STORED); u16(time); u16(day);
    u32(f.crc); u32(f.bytes.length); u32(f.bytes.length); u16(f.name.length); u16(0);
  };
  for (const f of files) {
    f.offset = at;
    u32(0x04034b50); common(f); put(f.name); put(f.bytes);
  }
  const directory = at;
  for (const f of files) {
    u32(0x02014b50); u16(VERSION); common(f);
    u16(0); u16(0); u16(0); u32(0); u32(f.offset); put(f.name);
  }
  const directorySize = at - directory;
  u32(0x06054b50); u16(0); u16(0); u16(files.length); u16(files.length);
  u32(directorySize); u32(directory); u16(0);
  return out;
}

if (typeof module !== "undefined") module.exports = { makeZip, zipCrc32 };
