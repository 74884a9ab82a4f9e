// The style sheet and the script of the results site. Both are written beside
// the pages (the one-file log page carries the style inline); nothing is
// fetched from elsewhere.
#include "Internal.h"

namespace yol::webreport::detail {

std::string_view SiteCss() {
    return R"css(:root{--ink:#1a1a1a;--muted:#555;--rule:#ccc;--head:#f0f0f0;--link:#0060a0}
*{box-sizing:border-box}
html{-webkit-text-size-adjust:100%}
body{margin:0;padding:0 1rem 2rem;font:16px/1.45 system-ui,"Segoe UI","DejaVu Sans","Noto Sans",Arial,sans-serif;color:var(--ink);background:#fff;max-width:80rem;margin-inline:auto}
a{color:var(--link)}
nav.top{padding:.6rem 0;border-bottom:1px solid var(--rule);margin-bottom:.5rem}
nav.top a{margin-right:1.2rem}
h1{font-size:1.6rem;margin:.6rem 0}
h1 .name{font-weight:normal;color:var(--muted)}
h2{font-size:1.25rem;margin:1.6rem 0 .5rem}
h3{font-size:1.05rem;margin:1.2rem 0 .4rem;display:flex;align-items:center;gap:.4rem;flex-wrap:wrap}
.code{font-family:"DejaVu Sans Mono",Consolas,monospace;font-weight:bold}
.generated{color:var(--muted);margin-top:0}
.scroll{overflow-x:auto;max-width:100%}
table{border-collapse:collapse;font-variant-numeric:tabular-nums}
caption{text-align:left;font-weight:bold;padding:.3rem 0;caption-side:top}
th,td{padding:.25rem .55rem;border-bottom:1px solid var(--rule);text-align:left;vertical-align:top}
thead th{background:var(--head);white-space:nowrap;position:sticky;top:0}
.num,table.results td{text-align:right}
table.results td.call,table.results td.txt{text-align:left}
table.results td.txt{white-space:nowrap}
mark{background:#ffe066;color:inherit;font-weight:bold;outline:1px solid #b08800;padding:0 1px}
table.align{margin:.3rem 0 .1rem;font-size:.85rem}
table.align th,table.align td{padding:.05rem .4rem;border-bottom:1px solid #eee;white-space:nowrap}
table.align thead th{position:static;background:none;color:var(--muted);font-weight:normal}
table.align tbody th{font-weight:normal;color:var(--muted)}
ul.notes{margin:0;padding-left:1rem;text-align:left}
ul.checklogs{list-style:none;padding:0;display:flex;flex-wrap:wrap;gap:.3rem 1.2rem}
td.call,.call{font-family:"DejaVu Sans Mono",Consolas,monospace}
table.results tbody tr:nth-child(even){background:#fafafa}
th button.sort{font:inherit;font-weight:bold;background:none;border:0;padding:0;cursor:pointer;color:inherit;text-align:inherit}
th button.sort::after{content:" \2195";color:#888;font-weight:normal}
th[aria-sort=ascending] button.sort::after{content:" \25B2";color:var(--ink)}
th[aria-sort=descending] button.sort::after{content:" \25BC";color:var(--ink)}
th button.sort:focus-visible{outline:2px solid var(--link)}
form.filter{margin:.8rem 0;display:flex;gap:.5rem;align-items:center;flex-wrap:wrap}
form.filter input{font:inherit;padding:.3rem .5rem;width:14rem;max-width:100%;border:1px solid #888;border-radius:3px}
/* A category's table is laid out and painted only when it comes near the screen:
   an index of thousands of logs opens as fast as its first screen. */
section.cat{content-visibility:auto;contain-intrinsic-size:auto 40rem}
nav.cats ul{list-style:none;padding:0;display:flex;flex-wrap:wrap;gap:.3rem 1.2rem}
table.facts th{font-weight:normal;color:var(--muted)}
table.facts td{text-align:right}
figure{margin:1rem 0 1.6rem}
figcaption{font-weight:bold;margin-bottom:.3rem}
.plotbox{overflow-x:auto}
svg.plot{display:block;width:100%;min-width:34rem;max-width:60rem;height:auto;font-family:system-ui,"DejaVu Sans",sans-serif}
svg.plot text{fill:#222}
svg.defs{position:absolute;width:0;height:0;overflow:hidden}
svg.sw{vertical-align:-3px;flex:none}
ul.key{list-style:none;padding:0;margin:.4rem 0;display:flex;flex-wrap:wrap;gap:.3rem 1.4rem}
td.line code{display:block;white-space:pre-wrap;overflow-wrap:anywhere;font-size:.85rem;font-family:"DejaVu Sans Mono",Consolas,monospace;background:#f6f6f6;padding:.15rem .3rem}
td.line .place{display:block;font-size:.8rem;color:var(--muted)}
td.line{min-width:16rem}
.none{color:var(--muted);font-style:italic}
.vh{position:absolute;width:1px;height:1px;overflow:hidden;clip:rect(0 0 0 0);white-space:nowrap}
table.removed td:first-child{white-space:nowrap}
table.removed td:nth-child(5){min-width:11rem}
@media (max-width:40rem){
 body{padding:0 .6rem 1.5rem;font-size:15px}
 h1{font-size:1.35rem}
 th,td{padding:.2rem .35rem}
 table.removed,table.removed tbody,table.removed tr,table.removed td{display:block;width:100%}
 table.removed thead{position:absolute;left:-9999px}
 table.removed tr{border:1px solid var(--rule);margin:.5rem 0;padding:.2rem}
 table.removed td{border:0;text-align:left;padding:.1rem .3rem}
 table.removed td::before{font-weight:bold;color:var(--muted)}
 table.removed td:nth-child(1)::before{content:"UTC: "}
 table.removed td:nth-child(2)::before{content:"Band: "}
 table.removed td:nth-child(3)::before{content:"Mode: "}
 table.removed td:nth-child(4)::before{content:"Call: "}
 table.removed td:nth-child(5)::before{content:"Reason: "}
 table.removed td:nth-child(6)::before{content:"Points lost: "}
 table.removed td:nth-child(7)::before{content:"Your line: "}
 table.removed td:nth-child(8)::before{content:"Other log\2019s line: "}
 table.removed.others td:nth-child(6)::before{content:"Their line: "}
 table.removed.others td:nth-child(7)::before{content:"Your line: "}
 table.removed td.line::before{display:block}
 caption{position:sticky;left:0;max-width:calc(100vw - 1.5rem)}
 table.results td.call,table.results th:nth-child(2){position:sticky;left:0;z-index:1;background:#fff}
 table.results thead th:nth-child(2){background:var(--head);z-index:2}
 table.results tbody tr:nth-child(even) td.call{background:#fafafa}
 td.call{white-space:nowrap}
 table.removed td:nth-child(-n+4){display:inline-block;width:auto;margin-right:.5rem}
 table.removed td.call::before{font-family:system-ui,"DejaVu Sans",sans-serif}
 td.line{min-width:0}
 table.removed table.align{display:table;width:auto}
 table.removed table.align thead{position:static;display:table-header-group}
 table.removed table.align tbody{display:table-row-group}
 table.removed table.align tr{display:table-row;border:0;margin:0;padding:0}
 table.removed table.align td,table.removed table.align th{display:table-cell;width:auto;margin:0;padding:.05rem .3rem}
 table.removed table.align td::before{content:none}
 svg.plot{min-width:34rem}
}
@media print{
 body{max-width:none;padding:0;font-size:10pt}
 nav.top,form.filter,nav.cats{display:none}
 a{color:inherit;text-decoration:none}
 .scroll,.plotbox{overflow:visible}
 svg.plot{min-width:0}
 thead th{position:static;background:none;border-bottom:2px solid #000}
 th button.sort::after{content:none}
 figure,tr{break-inside:avoid}
 section.cat{content-visibility:visible}
 h2,h3{break-after:avoid}
 table.results tbody tr:nth-child(even){background:none}
}
)css";
}

std::string_view SiteJs() {
    return R"js(// Sorting and the call filter, on top of tables that read without them.
(function () {
  'use strict';
  function sortKey(cell, numeric) {
    var text = cell.textContent.trim();
    if (!numeric) return text.toLowerCase();
    var v = parseFloat(text.replace(/[^0-9.eE+-]/g, ''));
    return isNaN(v) ? -Infinity : v;
  }
  function sortTable(table, th, col) {
    var numeric = th.getAttribute('data-type') === 'num';
    var current = th.getAttribute('aria-sort');
    // First click: numbers biggest first, names from A; then each click turns the order.
    var dir = current ? (current === 'ascending' ? -1 : 1) : (numeric ? -1 : 1);
    var heads = table.tHead.rows[0].cells;
    for (var i = 0; i < heads.length; i++) heads[i].removeAttribute('aria-sort');
    th.setAttribute('aria-sort', dir === 1 ? 'ascending' : 'descending');
    var body = table.tBodies[0];
    var rows = body.rows, keyed = new Array(rows.length);
    for (var r = 0; r < rows.length; r++) keyed[r] = [sortKey(rows[r].cells[col], numeric), r, rows[r]];
    keyed.sort(function (a, b) {
      if (a[0] < b[0]) return -dir;
      if (a[0] > b[0]) return dir;
      return a[1] - b[1];
    });
    var frag = document.createDocumentFragment();
    for (var k = 0; k < keyed.length; k++) frag.appendChild(keyed[k][2]);
    body.appendChild(frag);
  }
  var tables = document.querySelectorAll('table.sortable');
  Array.prototype.forEach.call(tables, function (table) {
    Array.prototype.forEach.call(table.tHead.rows[0].cells, function (th, col) {
      var button = document.createElement('button');
      button.type = 'button';
      button.className = 'sort';
      while (th.firstChild) button.appendChild(th.firstChild);
      th.appendChild(button);
      button.addEventListener('click', function () { sortTable(table, th, col); });
    });
  });

  var form = document.querySelector('form.filter');
  if (!form) return;
  var input = form.querySelector('input'), count = form.querySelector('output');
  var noMatch = document.querySelector('p.nomatch');
  var results = document.querySelectorAll('table.results');
  var entries = [];
  Array.prototype.forEach.call(results, function (table) {
    var col = 0, heads = table.tHead.rows[0].cells;
    for (var i = 0; i < heads.length; i++) if (heads[i].getAttribute('data-key') === 'call') col = i;
    var section = table.closest('section');
    Array.prototype.forEach.call(table.tBodies[0].rows, function (row) {
      entries.push([row.cells[col].textContent.toUpperCase(), row, section]);
    });
  });
  function apply() {
    var q = input.value.trim().toUpperCase(), shown = 0, seen = new Map();
    for (var i = 0; i < entries.length; i++) {
      var hit = !q || entries[i][0].indexOf(q) !== -1;
      if (entries[i][1].hidden === hit) entries[i][1].hidden = !hit;
      if (hit) { shown++; seen.set(entries[i][2], true); }
      else if (!seen.has(entries[i][2])) seen.set(entries[i][2], false);
    }
    seen.forEach(function (any, section) { if (section) section.hidden = !any; });
    count.textContent = q ? shown + (shown === 1 ? ' log' : ' logs') + ' match' : '';
    if (noMatch) noMatch.hidden = shown !== 0;
  }
  form.addEventListener('submit', function (e) { e.preventDefault(); });
  input.addEventListener('input', apply);
  form.hidden = false;
})();
)js";
}

}  // namespace yol::webreport::detail
