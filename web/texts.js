// The page's own texts in English and Russian, chosen by the browser's language (or ?lang=en|ru). The
// results and reasons of conversions and the formats' descriptions are not here: they come from the
// converter, as tarvex-cli and the window show them.
"use strict";

const TEXTS = {
  en: {
    tagline: "ZX Spectrum floppy images converted in your browser. Files never leave this computer.",
    drop: "Drop disk images here, or",
    choose: "Choose files…",
    convertTo: "Convert to",
    compress: "compressed TD0",
    salvage: "read damaged SCL",
    convert: "Convert",
    downloadAll: "Download all (.zip)",
    clear: "Clear list",
    processed: "Processed:",
    output: "Output",
    view: "View",
    infoText: "Full description",
    loading: "Loading the converter…",
    ready: "Ready. Nothing is uploaded: the conversion runs on this computer.",
    failed: "The converter could not be started: ",
    fileCount: "Files in the list - ",
    duplicate: (name) => `A file named "${name}" is already in the list...`,
    sameOutput: (source) => `Output is written by an earlier file of this run (${source})`,
    catalogue: "TR-DOS catalogue",
    catalogueSummary: (c) => `label "${c.label}", files ${c.files} (deleted ${c.deleted}), free sectors ${c.freeSectors}`,
    catalogueColumns: ["#", "Name", "Type", "Start", "Length", "Sectors", "Track", "Sector"],
    noCatalogue: "No TR-DOS catalogue on this disk.",
    emptyCatalogue: "The catalogue is empty.",
    deleted: "deleted",
    download: "Download",
    addFiles: "Add files…",
    addFilesTitle: "Hobeta files (NAME.$T) put on this disk before converting",
  },
  ru: {
    tagline: "Образы дискет ZX Spectrum преобразуются прямо в браузере. Файлы не покидают этот компьютер.",
    drop: "Перетащите образы дисков сюда или",
    choose: "Добавить файлы",
    convertTo: "Преобразовать в",
    compress: "сжатый TD0",
    salvage: "читать повреждённый SCL",
    convert: "Преобразовать",
    downloadAll: "Скачать всё (.zip)",
    clear: "Удалить файлы из списка",
    processed: "Обработано:",
    output: "Образ",
    view: "Просмотр",
    infoText: "Полное описание",
    loading: "Загрузка преобразователя…",
    ready: "Готово. Ничего не отправляется: преобразование идёт на этом компьютере.",
    failed: "Преобразователь не запустился: ",
    fileCount: "Файлов в списке - ",
    duplicate: (name) => `Файл с именем "${name}" уже есть в списке...`,
    sameOutput: (source) => `Output is written by an earlier file of this run (${source})`,
    catalogue: "Каталог TR-DOS",
    catalogueSummary: (c) => `метка "${c.label}", файлов ${c.files} (удалено ${c.deleted}), свободно секторов ${c.freeSectors}`,
    catalogueColumns: ["#", "Имя", "Тип", "Начало", "Длина", "Секторов", "Дорожка", "Сектор"],
    noCatalogue: "На этом диске нет каталога TR-DOS.",
    emptyCatalogue: "Каталог пуст.",
    deleted: "удалён",
    download: "Скачать",
    addFiles: "Добавить файлы…",
    addFilesTitle: "Файлы Hobeta (ИМЯ.$Т) записываются на этот диск перед преобразованием",
  },
};

// "ru" under a Russian browser language, "en" otherwise; ?lang= in the address wins.
function pageLanguage() {
  const asked = new URLSearchParams(location.search).get("lang");
  if (asked && TEXTS[asked]) return asked;
  const browser = (navigator.languages && navigator.languages[0]) || navigator.language || "en";
  return browser.toLowerCase().startsWith("ru") ? "ru" : "en";
}
