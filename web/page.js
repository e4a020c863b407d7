// The page: the file list, the target format, the batch run through the converter's worker with its
// progress bar, the downloads (one by one or as one zip) and the viewer of a file's sector map and TR-DOS
// catalogue. Each row under #results carries data-source (the file's name) and data-result (the result
// word), and an a[download] link once there is an output. A live file of the viewed catalogue downloads as a
// Hobeta file, and "Add files" puts Hobeta files on the viewed disk: the row's image is then the changed one.
"use strict";

const language = pageLanguage();
const text = TEXTS[language];
const $ = (id) => document.getElementById(id);

const rows = [];        // {file, element, outputName, outputBytes, url}
let formats = [];       // the converter's format names, in its order ("UDI", "TRD", ...)
let descriptions = {};  // lower-case name -> the converter's description of the format, in the page's language
let busy = false;
let viewedRow = null;   // the row whose image the viewer shows
let nextRequest = 1;
const waiting = new Map();  // request id -> resolve

const worker = new Worker("worker.js?lang=" + language);
worker.onmessage = (event) => {
  const message = event.data;
  if (message.type === "ready") return coreReady(message.formats, message.descriptions);
  if (message.type === "failed") return coreFailed(message.message);
  const resolve = waiting.get(message.id);
  if (resolve) {
    waiting.delete(message.id);
    resolve(message);
  }
};
worker.onerror = (event) => coreFailed(event.message || "worker error");

function ask(request, transfer) {
  const id = nextRequest++;
  return new Promise((resolve) => {
    waiting.set(id, resolve);
    worker.postMessage({ ...request, id }, transfer);
  });
}

function translatePage() {
  document.documentElement.lang = language;
  for (const element of document.querySelectorAll("[data-text]")) {
    const value = text[element.dataset.text];
    if (typeof value === "string") element.textContent = value;
  }
  for (const option of $("format").options) option.textContent = descriptions[option.value] || option.value.toUpperCase();
}

// The formats and their descriptions come from the converter's own table, as the window and tarvex-cli
// take theirs.
function coreReady(names, described) {
  formats = names;
  names.forEach((name, i) => { if (name) descriptions[name.toLowerCase()] = described[i]; });
  const select = $("format");
  for (const name of names) {
    if (!name) continue;  // a format without a writer keeps its place in the list, unnamed
    const value = name.toLowerCase();
    if (![...select.options].some((o) => o.value === value)) select.add(new Option(name, value));
  }
  for (const option of select.options) option.textContent = descriptions[option.value] || option.value.toUpperCase();
  $("core-state").textContent = text.ready;
  document.body.dataset.ready = "true";
  refreshControls();
}

function coreFailed(message) {
  $("core-state").textContent = text.failed + message;
  document.body.dataset.ready = "failed";
}

function refreshControls() {
  const ready = formats.length > 0;
  $("convert").disabled = busy || !ready || rows.length === 0;
  $("clear").disabled = busy || rows.length === 0;
  $("files").disabled = busy;
  $("format").disabled = busy;
  $("compress").disabled = busy || $("format").value !== "td0";
  $("salvage").disabled = busy;
  $("download-all").disabled = busy || !rows.some((r) => r.outputBytes);
  $("status").textContent = text.fileCount + rows.length;
}

function showNotice(message) {
  const notice = $("notice");
  notice.textContent = message;
  notice.hidden = !message;
}

function cell(row, content) {
  const td = document.createElement("td");
  if (content !== undefined) td.append(content);
  row.append(td);
  return td;
}

function addFiles(files) {
  if (busy) return;
  const refused = [];
  for (const file of files) {
    if (rows.some((r) => r.file.name === file.name)) {
      refused.push(text.duplicate(file.name));
      continue;
    }
    const element = document.createElement("tr");
    element.dataset.source = file.name;
    cell(element, String(rows.length + 1));
    cell(element, file.name);
    cell(element, "...").className = "result";
    cell(element).className = "download";
    const view = document.createElement("button");
    view.type = "button";
    view.className = "view";
    view.textContent = text.view;
    const row = { file, element };
    view.onclick = () => viewFile(row);
    cell(element, view);
    $("results").append(element);
    rows.push(row);
  }
  showNotice(refused.join("\n"));
  refreshControls();
}

function clearOutput(row) {
  if (row.url) URL.revokeObjectURL(row.url);
  row.url = row.outputBytes = row.outputName = undefined;
  row.element.querySelector(".download").replaceChildren();
}

function showResult(row, result, reason, losses = "") {
  row.element.dataset.result = result;
  const target = row.element.querySelector(".result");
  target.replaceChildren(result);
  if (reason) {
    const span = document.createElement("span");
    span.className = "reason";
    span.textContent = result ? ` (${reason})` : reason;
    target.append(span);
  }
  if (losses) {
    // What the output lacks, on a line of its own under the result, as tarvex-cli prints it.
    const line = document.createElement("div");
    line.className = "losses";
    line.textContent = losses;
    target.append(line);
  }
}

function showOutput(row, name, bytes) {
  row.outputName = name;
  row.outputBytes = bytes;
  row.url = URL.createObjectURL(new Blob([bytes], { type: "application/octet-stream" }));
  const link = document.createElement("a");
  link.href = row.url;
  link.download = name;
  link.textContent = name;
  row.element.querySelector(".download").append(link);
}

function setProgress(done, total) {
  $("progress-bar").value = total ? Math.round((done * 100) / total) : 0;
  $("counter").textContent = `${done} / ${total}`;
}

async function convertAll() {
  if (busy || rows.length === 0) return;
  busy = true;
  refreshControls();
  showNotice("");
  const format = formats.findIndex((name) => name.toLowerCase() === $("format").value);
  const compress = $("format").value === "td0" && $("compress").checked;
  const salvage = $("salvage").checked;
  const owners = new Map();  // output name -> the source that writes it in this run
  $("progress").hidden = false;
  setProgress(0, rows.length);
  for (const [index, row] of rows.entries()) {
    clearOutput(row);
    showResult(row, "...", "");
    const bytes = await row.file.arrayBuffer();
    const answer = await ask({ type: "convert", name: row.file.name, bytes, format, compress, salvage }, [bytes]);
    if (answer.type === "error") {
      showResult(row, "", answer.message);
    } else if (owners.has(answer.outputName)) {
      showResult(row, "", text.sameOutput(owners.get(answer.outputName)));
    } else {
      owners.set(answer.outputName, row.file.name);
      showResult(row, answer.result, answer.reason, answer.losses);
      row.element.title = `${answer.milliseconds.toFixed(1)} ms`;
      if (answer.output.byteLength) showOutput(row, answer.outputName, new Uint8Array(answer.output));
    }
    setProgress(index + 1, rows.length);
  }
  $("progress").hidden = true;
  busy = false;
  refreshControls();
}

function downloadAll() {
  const converted = rows.filter((r) => r.outputBytes);
  if (converted.length === 0) return;
  const zip = makeZip(converted.map((r) => ({ name: r.outputName, bytes: r.outputBytes })));
  const link = document.createElement("a");
  link.href = URL.createObjectURL(new Blob([zip], { type: "application/zip" }));
  link.download = `tarvex-${$("format").value}.zip`;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

function clearList() {
  if (busy) return;
  for (const row of rows) clearOutput(row);
  rows.length = 0;
  $("results").replaceChildren();
  $("viewer").hidden = true;
  viewedRow = null;
  showNotice("");
  refreshControls();
}

// The sector map, one row per used track: the header tile and a tile per used slot, by the window's rules.
function renderSectorMap(tracks) {
  const map = $("sector-map");
  map.replaceChildren();
  for (const track of tracks) {
    const line = document.createElement("div");
    line.className = "map-row";
    const header = document.createElement("span");
    header.className = `tile header ${track.header}`;
    header.textContent = track.label;
    line.append(header);
    for (const sector of track.sectors) {
      const tile = document.createElement("span");
      tile.className = sector ? `tile ${sector.tile}` : "tile empty";
      if (sector) tile.textContent = sector.label;
      line.append(tile);
    }
    map.append(line);
  }
}

function renderCatalogue(catalogue) {
  const box = $("catalogue");
  box.replaceChildren();
  const title = document.createElement("h3");
  title.textContent = text.catalogue;
  box.append(title);
  const summary = document.createElement("p");
  if (!catalogue) {
    summary.textContent = text.noCatalogue;
    box.append(summary);
    return;
  }
  summary.textContent = text.catalogueSummary(catalogue);
  box.append(summary);
  if (catalogue.entries.length === 0) {
    summary.textContent += `. ${text.emptyCatalogue}`;
    return;
  }
  const table = document.createElement("table");
  table.className = "catalogue";
  const head = table.createTHead().insertRow();
  for (const caption of text.catalogueColumns) head.append(Object.assign(document.createElement("th"), { textContent: caption }));
  head.append(document.createElement("th"));
  const body = table.createTBody();
  catalogue.entries.forEach((e, i) => {
    const row = body.insertRow();
    if (e.deleted) {
      row.className = "deleted";
      row.title = text.deleted;
    }
    for (const value of [i + 1, e.name, e.type, e.start, e.length, e.sectors, e.track, e.sector]) {
      row.insertCell().textContent = String(value);
    }
    const cell = row.insertCell();
    if (e.deleted || i >= catalogue.files) return;
    const button = Object.assign(document.createElement("button"), { type: "button", className: "extract" });
    button.textContent = text.download;
    button.onclick = () => downloadFile(i);
    cell.append(button);
  });
  box.append(table);
}

function saveBytes(name, bytes) {
  const link = document.createElement("a");
  link.href = URL.createObjectURL(new Blob([bytes], { type: "application/octet-stream" }));
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

// One file of the viewed disk, as a Hobeta file.
async function downloadFile(index) {
  const row = viewedRow;
  const bytes = await row.file.arrayBuffer();
  const answer = await ask({ type: "extract", name: row.file.name, bytes, index }, [bytes]);
  if (answer.result === "Converted!") saveBytes(answer.outputName, new Uint8Array(answer.output));
  else showNotice(`${answer.result} (${answer.reason || answer.message})`);
}

// Hobeta files put on the viewed disk one after another; the row's image becomes the changed one, written in
// its own format, and its earlier output goes. A refused file is named in the notice.
async function addToDisk(files) {
  const row = viewedRow;
  if (busy || !row) return;
  const refused = [];
  for (const file of files) {
    const bytes = await row.file.arrayBuffer();
    const contents = await file.arrayBuffer();
    const answer = await ask({ type: "add", name: row.file.name, bytes, fileName: file.name, file: contents },
      [bytes, contents]);
    if (answer.result === "Converted!") {
      row.file = new File([answer.output], row.file.name);
      clearOutput(row);
      showResult(row, "...", "");
    } else {
      refused.push(`${answer.result} (${answer.reason || answer.message})`);
    }
  }
  showNotice(refused.join("\n"));
  await viewFile(row);
}

async function viewFile(row) {
  viewedRow = row;
  const bytes = await row.file.arrayBuffer();
  const answer = await ask({ type: "describe", name: row.file.name, bytes }, [bytes]);
  const viewer = $("viewer");
  viewer.hidden = false;
  viewer.dataset.source = row.file.name;
  $("viewer-title").textContent = row.file.name;
  const report = answer.report;
  if (!report || !report.readable) {
    const reason = report ? `${report.result} (${report.reason})` : answer.message;
    $("sector-map").replaceChildren(reason);
    $("catalogue").replaceChildren();
    $("info-text").textContent = "";
  } else {
    renderSectorMap(report.tracks);
    renderCatalogue(report.catalogue);
    $("info-text").textContent = report.info;
  }
  $("add-files-label").hidden = !(report && report.readable && report.catalogue);
  $("add-files-label").title = text.addFilesTitle;
  viewer.scrollIntoView({ block: "nearest" });
}

$("files").addEventListener("change", (event) => {
  addFiles(event.target.files);
  event.target.value = "";
});
$("add-files").addEventListener("change", async (event) => {
  const files = [...event.target.files];
  event.target.value = "";
  await addToDisk(files);
});
$("format").addEventListener("change", refreshControls);
$("convert").addEventListener("click", convertAll);
$("download-all").addEventListener("click", downloadAll);
$("clear").addEventListener("click", clearList);

const drop = $("drop");
document.addEventListener("dragover", (event) => {
  event.preventDefault();
  drop.classList.add("over");
});
document.addEventListener("dragleave", (event) => {
  if (!event.relatedTarget) drop.classList.remove("over");
});
document.addEventListener("drop", (event) => {
  event.preventDefault();
  drop.classList.remove("over");
  addFiles(event.dataTransfer.files);
});

translatePage();
refreshControls();
