// Narrows the list of installed programs to those containing the typed text.
// Without this script the page lists every program; the box stays hidden.
"use strict";
document.addEventListener("DOMContentLoaded", function () {
  var box = document.getElementById("program-filter");
  var list = document.getElementById("programs");
  if (!box || !list) return;
  var input = box.querySelector("input");
  var status = document.getElementById("program-filter-status");
  var items = Array.prototype.slice.call(list.querySelectorAll("li"));
  box.hidden = false;
  function apply() {
    var wanted = input.value.trim().toLowerCase();
    var shown = 0;
    items.forEach(function (item) {
      var match = wanted === "" || item.textContent.toLowerCase().indexOf(wanted) !== -1;
      item.hidden = !match;
      if (match) shown += 1;
    });
    status.textContent = wanted === "" ? "" : shown + " of " + items.length + " programs shown";
  }
  input.addEventListener("input", apply);
  apply();
});
