// Narrows the list of installed programs to those containing the typed text, and makes the
// download links ask for the same programs. Without this script the page lists every program,
// the box stays hidden and the downloads cover everything.
"use strict";
document.addEventListener("DOMContentLoaded", function () {
  var box = document.getElementById("program-filter");
  var list = document.getElementById("programs");
  if (!box || !list) return;
  var input = box.querySelector("input");
  var status = document.getElementById("program-filter-status");
  var items = Array.prototype.slice.call(list.querySelectorAll("li"));
  var links = ["download-csv", "download-json"].map(function (id) { return document.getElementById(id); })
    .filter(function (link) { return link; });
  var bases = links.map(function (link) { return link.getAttribute("href").replace(/&filter=.*$/, ""); });
  box.hidden = false;
  // ASCII letters only, as the server folds them for the downloads: both then pick the same programs.
  function fold(text) {
    return text.replace(/[A-Z]+/g, function (letters) { return letters.toLowerCase(); });
  }
  function apply() {
    var wanted = fold(input.value.trim());
    var shown = 0;
    items.forEach(function (item) {
      var match = wanted === "" || fold(item.textContent).indexOf(wanted) !== -1;
      item.hidden = !match;
      if (match) shown += 1;
    });
    status.textContent = wanted === "" ? "" : shown + " of " + items.length + " programs shown";
    links.forEach(function (link, i) {
      link.setAttribute("href", wanted === "" ? bases[i] : bases[i] + "&filter=" + encodeURIComponent(wanted));
    });
  }
  input.addEventListener("input", apply);
  apply();
});
