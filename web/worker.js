// The converter's own thread: loads the WebAssembly core once and answers the page's requests one at a
// time, so that a long conversion never holds up the page. Image bytes come in and go out as transferred
// buffers; nothing is sent anywhere else.
"use strict";

importScripts("tarvex.js");

const decoder = new TextDecoder();
let core = null;
let disk = 0;

function putBytes(bytes) {
  const at = core._tarvex_alloc(bytes.length);
  core.HEAPU8.set(bytes, at);
  return at;
}

function putString(text) {
  return putBytes(new TextEncoder().encode(text + "\0"));
}

// The NUL-terminated UTF-8 text at `at`; the heap is looked up afresh, since it may have grown.
function textAt(at) {
  const heap = core.HEAPU8;
  let end = at;
  while (heap[end] !== 0) end++;
  return decoder.decode(heap.subarray(at, end));
}

// Runs call(namePointer, bytesPointer, length) with the name and bytes copied into the core's memory.
function withImage(name, bytes, call) {
  const namePointer = putString(name);
  const bytesPointer = putBytes(bytes);
  try {
    return call(namePointer, bytesPointer, bytes.length);
  } finally {
    core._tarvex_free(bytesPointer);
    core._tarvex_free(namePointer);
  }
}

function convert(request) {
  const started = performance.now();
  const handle = withImage(request.name, new Uint8Array(request.bytes), (name, bytes, length) =>
    core._tarvex_convert(disk, name, bytes, length, request.format, request.compress ? 1 : 0, request.salvage ? 1 : 0));
  try {
    const size = core._tarvex_conversion_output_size(handle);
    const at = core._tarvex_conversion_output(handle);
    const output = core.HEAPU8.slice(at, at + size).buffer;
    const answer = {
      type: "converted",
      id: request.id,
      result: textAt(core._tarvex_conversion_result(handle)),
      reason: textAt(core._tarvex_conversion_reason(handle)),
      losses: textAt(core._tarvex_conversion_losses(handle)),
      outputName: textAt(core._tarvex_conversion_output_name(handle)),
      output,
      milliseconds: performance.now() - started,
    };
    postMessage(answer, [output]);
  } finally {
    core._tarvex_conversion_delete(handle);
  }
}

// A TR-DOS file out of an image (extract) or into it (add): the answer carries the result, the reason, the
// output's name and its bytes, as a conversion's does.
function fileStep(request) {
  const bytes = new Uint8Array(request.bytes);
  const handle = withImage(request.name, bytes, (name, at, length) => {
    if (request.type === "extract") return core._tarvex_extract_file(disk, name, at, length, request.index);
    const fileName = putString(request.fileName);
    const fileBytes = putBytes(new Uint8Array(request.file));
    try {
      return core._tarvex_add_file(disk, name, at, length, fileName, fileBytes, request.file.byteLength);
    } finally {
      core._tarvex_free(fileBytes);
      core._tarvex_free(fileName);
    }
  });
  try {
    const size = core._tarvex_conversion_output_size(handle);
    const at = core._tarvex_conversion_output(handle);
    const output = core.HEAPU8.slice(at, at + size).buffer;
    postMessage({
      type: "file",
      id: request.id,
      result: textAt(core._tarvex_conversion_result(handle)),
      reason: textAt(core._tarvex_conversion_reason(handle)),
      outputName: textAt(core._tarvex_conversion_output_name(handle)),
      output,
    }, [output]);
  } finally {
    core._tarvex_conversion_delete(handle);
  }
}

function describe(request) {
  const json = withImage(request.name, new Uint8Array(request.bytes), (name, bytes, length) =>
    core._tarvex_describe(disk, name, bytes, length));
  try {
    postMessage({ type: "described", id: request.id, report: JSON.parse(textAt(json)) });
  } finally {
    core._tarvex_free(json);
  }
}

// The engine first runs WebAssembly through a quick compiler and recompiles the busiest code with its
// optimising one only once it has run a while: one compressed TD0 of a small made-up disk at start brings
// the codec up to speed before the first real image comes.
const WARM_UP_TRACKS = 80;
const TRD_TRACK_BYTES = 16 * 256;

function warmUp(formats) {
  const bytes = new Uint8Array(WARM_UP_TRACKS * TRD_TRACK_BYTES);
  let seed = 1;
  for (let i = 0; i < bytes.length; i++) {
    seed = (seed * 1103515245 + 12345) >>> 0;
    bytes[i] = (seed >>> 24) & 0x3f;
  }
  const td0 = formats.indexOf("TD0");
  const handle = withImage("warm-up.trd", bytes, (name, at, length) => core._tarvex_convert(disk, name, at, length, td0, 1, 0));
  core._tarvex_conversion_delete(handle);
}

const pending = [];

function handle(request) {
  try {
    if (request.type === "convert") convert(request);
    else if (request.type === "describe") describe(request);
    else if (request.type === "extract" || request.type === "add") fileStep(request);
  } catch (error) {
    postMessage({ type: "error", id: request.id, message: String(error) });
  }
}

onmessage = (event) => {
  if (core) handle(event.data);
  else pending.push(event.data);
};

// The page's language comes with the worker's address (worker.js?lang=ru); the core's messages follow it.
async function useLanguage(language) {
  if (language !== "ru") return;
  const response = await fetch("ru.mo");
  if (!response.ok) return;
  const bytes = new Uint8Array(await response.arrayBuffer());
  withImage("ru.mo", bytes, (name, at, length) => core._tarvex_use_catalogue(at, length));
}

TarvexModule().then(
  async (module) => {
    core = module;
    await useLanguage(new URLSearchParams(self.location.search).get("lang"));
    disk = core._tarvex_disk_new();
    const formats = [], descriptions = [];
    for (let i = 0; i < core._tarvex_format_count(); i++) {
      formats.push(textAt(core._tarvex_format_name(i)));
      descriptions.push(textAt(core._tarvex_format_description(i)));
    }
    postMessage({ type: "ready", formats, descriptions });
    warmUp(formats);
    pending.splice(0).forEach(handle);
  },
  (error) => postMessage({ type: "failed", message: String(error) }),
);
