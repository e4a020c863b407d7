// The page as an installed web app: the service worker that keeps the site for use without a network,
// and the images the system hands over when the installed page is chosen to open them (launchQueue),
// which join the list as if chosen with the file button. Nothing is sent anywhere.
"use strict";

if ("serviceWorker" in navigator) {
  navigator.serviceWorker.register("service-worker.js").catch(() => {
    // Without it the page still works, only not offline.
  });
}

if ("launchQueue" in window) {
  window.launchQueue.setConsumer(async (launch) => {
    if (!launch.files || launch.files.length === 0) return;
    const chosen = new DataTransfer();
    for (const handle of launch.files) chosen.items.add(await handle.getFile());
    const input = document.getElementById("files");
    input.files = chosen.files;
    input.dispatchEvent(new Event("change"));
  });
}
