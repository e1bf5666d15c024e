// Installed into every page before the client runs: native dialogs, external
// links, and file access, all through the host's "tovikShell" message handler.
(() => {
  "use strict";
  const handlers = window.webkit && window.webkit.messageHandlers;
  const shell = handlers && handlers.tovikShell;
  if (!shell) return;

  const call = (op, args) =>
    shell.postMessage({ op, ...args }).then((text) => {
      const reply = JSON.parse(text);
      if (reply && reply.ok) return reply.value;
      throw reply && typeof reply.error === "string" ? reply.error : "host integration failed";
    });

  // alert is fire and forget; confirm answers with a promise of true or false.
  window.alert = (message) => {
    call("alert", { message: String(message ?? "") }).catch(() => {});
  };
  window.confirm = (message) =>
    call("confirm", { message: String(message ?? "") }).then(Boolean, () => false);

  const EXTERNAL_SCHEMES = new Set(["http:", "https:", "mailto:", "tel:"]);
  window.addEventListener("click", (event) => {
    if (event.defaultPrevented || event.button !== 0 || event.metaKey || event.altKey) return;
    const start = event.target instanceof Element ? event.target : event.target && event.target.parentElement;
    const anchor = start ? start.closest("a") : null;
    if (!anchor) return;
    const href = anchor.getAttribute("href");
    if (!href) return;
    if (anchor.target !== "_blank" && !event.ctrlKey && !event.shiftKey) return;
    let url;
    try {
      url = new URL(href, document.baseURI);
    } catch {
      return;
    }
    if (!EXTERNAL_SCHEMES.has(url.protocol)) return;
    event.preventDefault();
    call("open_external", { url: url.href }).catch(() => {});
  });

  // File access for saving documents and backups. Bytes travel as Base64 text.
  Object.defineProperty(window, "tovikHost", {
    value: Object.freeze({
      saveDialog: (suggestedName, extension) =>
        call("save_dialog", { suggested_name: String(suggestedName), extension: String(extension ?? "") }),
      writeFile: (path, base64) => call("write_file", { path: String(path), data: String(base64) }),
      writeDocument: (relativePath, base64, createFolders) =>
        call("write_document", {
          path: String(relativePath),
          data: String(base64),
          create_folders: Boolean(createFolders),
        }),
      openPath: (path) => call("open_path", { path: String(path) }),
    }),
  });
})();
