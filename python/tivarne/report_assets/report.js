/* tivarne's report: draws the page from the JSON data embedded in it
   (<script id="tivarne-data">; its fields are listed in tivarne/_report.py).
   Plain DOM and hand-written SVG; the network is drawn by cytoscape.js, which
   is inside the page too. Nothing here makes a request. */
(function () {
  'use strict';

  var data = JSON.parse(document.getElementById('tivarne-data').textContent);
  var S = data.summary;
  var PAIRS = data.pairs;
  var SVG_NS = 'http://www.w3.org/2000/svg';
  var FONT = 'system-ui, -apple-system, "Segoe UI", Roboto, "DejaVu Sans", Arial, sans-serif';
  var CLASS1 = S.classes[0].name, CLASS2 = S.classes[1].name;
  var COLOUR = {1: '#d55e00', 2: '#0072b2'};
  var DASH = {1: null, 2: '7 4'};
  var DIRECTIONS = {
    stronger_in_class1: {label: 'stronger in ' + CLASS1, short: CLASS1 + ' \u2191', colour: '#d55e00', dash: null,
                         line: 'solid'},
    stronger_in_class2: {label: 'stronger in ' + CLASS2, short: CLASS2 + ' \u2191', colour: '#0072b2', dash: '8 4',
                         line: 'dashed'},
    sign_change: {label: 'sign change', short: 'sign \u00b1', colour: '#7a3e9d', dash: '2 3', line: 'dotted'}
  };
  // A table shows at most TABLE_ROWS rows (a button shows the rest); the first
  // FIRST_ROWS are drawn with the page, the others right after it is ready.
  var TABLE_ROWS = 1000, FIRST_ROWS = 150;
  var later = [];
  var state = {selected: null, overlay: false, cy: null};
  var api = window.tivarneReport = {data: data, ready: false, cy: null};
  var figures = {};   // name -> {title, svg: function returning an SVG element, or png: function(callback)}

  // ---------------------------------------------------------------- helpers
  function el(tag, attrs, children) {
    var e = document.createElement(tag);
    setAttrs(e, attrs);
    append(e, children);
    return e;
  }
  function svgEl(tag, attrs, children) {
    var e = document.createElementNS(SVG_NS, tag);
    setAttrs(e, attrs);
    append(e, children);
    return e;
  }
  function setAttrs(e, attrs) {
    for (var k in attrs || {}) {
      if (attrs[k] === null || attrs[k] === undefined) continue;
      if (k === 'text') e.textContent = attrs[k];
      else if (k.slice(0, 2) === 'on') e.addEventListener(k.slice(2), attrs[k]);
      else e.setAttribute(k, attrs[k]);
    }
  }
  function append(e, children) {
    [].concat(children === undefined ? [] : children).forEach(function (c) {
      if (c === null || c === undefined) return;
      e.appendChild(typeof c === 'string' || typeof c === 'number' ? document.createTextNode(String(c)) : c);
    });
  }
  function byId(id) { return document.getElementById(id); }
  function html(text) { return String(text).replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;').replace(/"/g, '&quot;'); }
  function count(n) { return n === null || n === undefined ? null : String(n).replace(/\B(?=(\d{3})+(?!\d))/g, ','); }
  function fixed(x, digits) {
    if (x === null || x === undefined) return '\u2014';
    return Math.abs(x) < 0.5 * Math.pow(10, -digits) && x !== 0 ? x.toExponential(1) : x.toFixed(digits);
  }
  function pvalue(p) {
    if (p === null || p === undefined) return '\u2014';
    if (p === 0) return '0';
    return p < 1e-3 ? p.toExponential(2) : p.toPrecision(3);
  }
  function absent(text) { return el('p', {'class': 'absent', text: text}); }
  function slug(text) {
    return (text || 'tivarne').replace(/[^A-Za-z0-9._-]+/g, '-').replace(/^-+|-+$/g, '').slice(0, 60) || 'tivarne';
  }
  var FILE = 'tivarne-' + slug(S.title);
  function geneLabel(name, index) { return name === String(index) ? 'gene ' + index : name; }

  function save(name, content, type) {
    var blob = content instanceof Blob ? content : new Blob([content], {type: type});
    var url = URL.createObjectURL(blob);
    var a = el('a', {href: url, download: name});
    document.body.appendChild(a);
    a.click();
    a.remove();
    setTimeout(function () { URL.revokeObjectURL(url); }, 1000);
  }
  function svgText(svg) { return new XMLSerializer().serializeToString(svg); }
  function svgToPng(svg, done) {
    var width = Number(svg.getAttribute('width')), height = Number(svg.getAttribute('height'));
    var url = URL.createObjectURL(new Blob([svgText(svg)], {type: 'image/svg+xml'}));
    var image = new Image();
    image.onload = function () {
      var canvas = el('canvas', {width: width * 2, height: height * 2});
      var g = canvas.getContext('2d');
      g.fillStyle = '#fff';
      g.fillRect(0, 0, canvas.width, canvas.height);
      g.drawImage(image, 0, 0, canvas.width, canvas.height);
      URL.revokeObjectURL(url);
      canvas.toBlob(done, 'image/png');
    };
    image.src = url;
  }
  function figureButtons(name, box) {
    var f = figures[name];
    box.textContent = '';
    if (f.svg) box.appendChild(el('button', {type: 'button', text: 'SVG', 'aria-label': f.title + ' as SVG',
      onclick: function () { save(FILE + '-' + name + '.svg', svgText(f.svg()), 'image/svg+xml'); }}));
    box.appendChild(el('button', {type: 'button', text: 'PNG', 'aria-label': f.title + ' as PNG',
      onclick: function () {
        var write = function (blob) { save(FILE + '-' + name + '.png', blob); };
        if (f.png) f.png(write); else svgToPng(f.svg(), write);
      }}));
  }

  // Axis ticks at 1, 2 or 5 times a power of ten.
  function ticks(lo, hi, wanted) {
    if (!(hi > lo)) return [lo];
    var raw = (hi - lo) / wanted, power = Math.pow(10, Math.floor(Math.log10(raw)));
    var step = [1, 2, 5, 10].map(function (m) { return m * power; }).filter(function (s) { return s >= raw; })[0];
    var out = [];
    for (var t = Math.ceil(lo / step) * step; t <= hi + step * 1e-9; t += step) out.push(Math.abs(t) < step * 1e-9 ? 0 : t);
    return out;
  }
  function tickText(t) { return Math.abs(t) >= 1e4 || (Math.abs(t) < 1e-3 && t !== 0) ? t.toExponential(0) : String(+t.toPrecision(6)); }
  function scale(d0, d1, r0, r1) { return function (v) { return r0 + (v - d0) / (d1 - d0 || 1) * (r1 - r0); }; }

  // A frame with axes: {g, x, y} where x and y map data to pixels.
  function axes(parent, box, xDomain, yDomain, xLabel, yLabel, options) {
    options = options || {};
    var x = scale(xDomain[0], xDomain[1], box.x, box.x + box.w), y = scale(yDomain[0], yDomain[1], box.y + box.h, box.y);
    var g = svgEl('g', {});
    g.appendChild(svgEl('rect', {x: box.x, y: box.y, width: box.w, height: box.h, fill: 'none', stroke: '#999'}));
    (options.xTicks || ticks(xDomain[0], xDomain[1], 5)).forEach(function (t) {
      g.appendChild(svgEl('line', {x1: x(t), x2: x(t), y1: box.y + box.h, y2: box.y + box.h + 4, stroke: '#555'}));
      g.appendChild(svgEl('text', {x: x(t), y: box.y + box.h + 17, 'text-anchor': 'middle', 'font-size': 12,
                                   fill: '#333', text: (options.xText || tickText)(t)}));
    });
    (options.yTicks || ticks(yDomain[0], yDomain[1], 5)).forEach(function (t) {
      g.appendChild(svgEl('line', {x1: box.x - 4, x2: box.x, y1: y(t), y2: y(t), stroke: '#555'}));
      g.appendChild(svgEl('text', {x: box.x - 6, y: y(t) + 4, 'text-anchor': 'end', 'font-size': 12, fill: '#333',
                                   text: (options.yText || tickText)(t)}));
    });
    if (xLabel) g.appendChild(svgEl('text', {x: box.x + box.w / 2, y: box.y + box.h + 34, 'text-anchor': 'middle',
                                             'font-size': 13, fill: '#111', text: xLabel}));
    if (yLabel) g.appendChild(svgEl('text', {transform: 'translate(' + (box.x - 42) + ',' + (box.y + box.h / 2) + ') rotate(-90)',
                                             'text-anchor': 'middle', 'font-size': 13, fill: '#111', text: yLabel}));
    parent.appendChild(g);
    return {g: g, x: x, y: y};
  }
  function svgRoot(width, height, label) {
    return svgEl('svg', {xmlns: SVG_NS, width: width, height: height, viewBox: '0 0 ' + width + ' ' + height,
                         role: 'img', 'aria-label': label, 'font-family': FONT});
  }
  function marker(cls, cx, cy, size) {
    var common = {fill: COLOUR[cls], 'fill-opacity': 0.8, stroke: '#222', 'stroke-width': 0.8};
    if (cls === 1) return svgEl('circle', Object.assign({cx: cx, cy: cy, r: size}, common));
    var h = size * 1.25;
    return svgEl('path', Object.assign({d: 'M' + cx + ',' + (cy - h) + 'L' + (cx + h) + ',' + (cy + h * 0.8) + 'L' + (cx - h) + ',' + (cy + h * 0.8) + 'Z'}, common));
  }
  function lineSample(colour, dash, width) {
    return svgEl('svg', {width: 36, height: 12, 'aria-hidden': 'true'},
                 svgEl('line', {x1: 2, x2: 34, y1: 6, y2: 6, stroke: colour, 'stroke-width': width || 3,
                                'stroke-dasharray': dash}));
  }

  // --------------------------------------------------------------- summary
  function summary() {
    var list = byId('summary-list');
    var route = S.p_value_route === 'ECOR' ? 'ECOR likelihood-ratio test' :
        S.p_value_route === 'calibrated' ? 'calibrated likelihood-ratio test (class sizes n - 3)' : S.p_value_route;
    var criterion = (S.adjust === 'BH' ? 'q-value (Benjamini\u2013Hochberg) \u2264 ' : 'p-value \u2264 ') + S.level +
      '; p-values: ' + route + '; at most ' + count(S.max_pairs) + ' pairs, ' +
      (S.order === 'p_value' ? 'smallest p-value first' : 'highest score first');
    var shown = count(S.pairs_shown) + (S.pairs_shown > S.network_edges ? '; the network shows the first ' + count(S.network_edges) : '');
    var passing = S.pairs_passing !== null ? count(S.pairs_passing)
      : 'not counted for this run (at least ' + count(S.pairs_shown) + ': the selection stopped at ' + count(S.max_pairs) + ' pairs)';
    var time = S.run_time_s !== null ? S.run_time_s.toFixed(S.run_time_s < 10 ? 2 : 1) + ' s'
      : 'not recorded (the pairs come from the result file ' + S.result_file + ')';
    var copy = el('button', {type: 'button', text: 'Copy', onclick: function () {
      if (navigator.clipboard) navigator.clipboard.writeText(S.command).catch(function () {});
    }});
    var rows = [
      ['Data', count(S.genes) + ' genes; ' + count(S.samples) + ' samples: ' + CLASS1 + ' (class 1) ' + count(S.classes[0].size) +
               ', ' + CLASS2 + ' (class 2) ' + count(S.classes[1].size) + '; ' + (S.left_out ? count(S.left_out) + ' left out' : 'none left out')],
      ['Criterion', criterion],
      ['Pairs tested', count(S.pairs_tested) + ' (every pair of genes)'],
      ['Pairs with a p-value', S.pairs_with_p_value !== null ? count(S.pairs_with_p_value) : 'not computed for this run'],
      ['Pairs passing', passing],
      ['Pairs shown', shown],
      ['Run time', time],
      ['tivarne', 'version ' + S.version],
      ['Made by', [el('code', {text: S.command}), ' ', copy]]
    ];
    rows.forEach(function (r) { list.appendChild(el('dt', {text: r[0]})); list.appendChild(el('dd', {}, r[1])); });
    byId('footer').textContent = 'Made by tivarne ' + S.version + '. Network drawn with cytoscape.js ' +
      (window.cytoscape ? cytoscape.version : '') + ' (MIT licence), included in this file.';
  }

  // ---------------------------------------------------------------- tables
  // A sortable table of records: columns [{key, label, text (left-aligned),
  // name (cut when long, in full on hover), show(record) giving the cell's
  // text}]. The rows are made in one piece of HTML, the clicks handled by the body.
  function sortableTable(table, records, columns, onPick, rowLimit) {
    var thead = table.tHead, tbody = table.tBodies[0];
    var sort = {key: '__order', ascending: true};   // the records' own order first
    var visible = records, limit = rowLimit, drawn = api.ready ? rowLimit : Math.min(rowLimit, FIRST_ROWS);
    var holder = document.createElement('tbody');
    holder.innerHTML = records.map(function (r, k) {
      return '<tr data-k="' + k + '"' + (onPick ? ' tabindex="0"' : '') + '>' + columns.map(function (c) {
        var value = String(r[c.key]), text = c.show ? c.show(r) : value;
        return '<td' + (c.text ? ' class="text' + (c.name ? ' name" title="' + html(value) + '"' : '"') : '') + '>' +
          (c.key === 'direction' ? '<span class="dir ' + r[c.key] + '" aria-hidden="true"></span>' : '') + html(text) + '</td>';
      }).join('') + '</tr>';
    }).join('');
    var rows = Array.prototype.slice.call(holder.children);
    records.forEach(function (r, k) { r.__row = rows[k]; r.__order = k; });
    if (onPick) {
      var picked = function (event) {
        var tr = event.target.closest('tr');
        return tr && tr.parentNode === tbody ? records[Number(tr.getAttribute('data-k'))] : null;
      };
      tbody.addEventListener('click', function (event) { var r = picked(event); if (r) onPick(r); });
      tbody.addEventListener('keydown', function (event) {
        var r = picked(event);
        if (r && (event.key === 'Enter' || event.key === ' ')) { event.preventDefault(); onPick(r); }
      });
    }
    var headRow = el('tr');
    columns.forEach(function (c) {
      var th = el('th', {scope: 'col', 'class': (c.text ? 'text ' : '') + 'col-' + c.key, title: c.title || null},
                  el('button', {type: 'button', text: c.label, onclick: function () {
                    sort = {key: c.key, ascending: sort.key === c.key ? !sort.ascending : c.key === 'rank' || !!c.text || c.ascending};
                    draw();
                  }}));
      c.th = th;
      headRow.appendChild(th);
    });
    thead.appendChild(headRow);
    var more = el('p', {'class': 'more'});
    var anchor = table.parentNode.classList.contains('table-box') ? table.parentNode : table;
    anchor.parentNode.insertBefore(more, anchor.nextSibling);

    function compare(a, b) {
      var x = a[sort.key], y = b[sort.key];
      if (x === null || x === undefined) return (y === null || y === undefined) ? a.__order - b.__order : 1;
      if (y === null || y === undefined) return -1;
      var d = typeof x === 'string' ? x.localeCompare(y) : x - y;
      return (sort.ascending ? d : -d) || a.__order - b.__order;
    }
    function draw() {
      var ordered = visible.slice().sort(compare);
      var fragment = document.createDocumentFragment();
      ordered.slice(0, Math.min(limit, drawn)).forEach(function (r) { fragment.appendChild(r.__row); });
      tbody.textContent = '';
      tbody.appendChild(fragment);
      columns.forEach(function (c) {
        if (c.key === sort.key) c.th.setAttribute('aria-sort', sort.ascending ? 'ascending' : 'descending');
        else c.th.removeAttribute('aria-sort');
      });
      more.textContent = '';
      if (ordered.length > limit) {
        more.appendChild(document.createTextNode('Showing ' + count(limit) + ' of ' + count(ordered.length) + ' rows. '));
        more.appendChild(el('button', {type: 'button', text: 'Show all', onclick: function () { limit = Infinity; draw(); }}));
      }
    }
    draw();
    if (drawn < limit && records.length > drawn) later.push(function () { drawn = limit; draw(); });
    else drawn = limit;
    return {filter: function (keep) { visible = records.filter(keep); draw(); return visible.length; }, rows: rows};
  }

  // ----------------------------------------------------------------- pairs
  function hasAny(records, key) { return records.some(function (r) { return r[key] !== null && r[key] !== undefined; }); }
  var HAS_Q = hasAny(PAIRS, 'q'), HAS_CLASS = hasAny(PAIRS, 'dc_class');

  function directionCell(r) { return DIRECTIONS[r.direction].short; }

  var pairTable;
  function pairs() {
    var columns = [
      {key: 'rank', label: 'rank'},
      {key: 'gene_x', label: 'gene X', text: true, name: true},
      {key: 'gene_y', label: 'gene Y', text: true, name: true},
      {key: 'r1', label: 'r1', title: 'biweight midcorrelation in ' + CLASS1, show: function (r) { return fixed(r.r1, 3); }},
      {key: 'r2', label: 'r2', title: 'biweight midcorrelation in ' + CLASS2, show: function (r) { return fixed(r.r2, 3); }},
      {key: 'c', label: 'c', title: 'weight: how alike the spread is in the two classes', show: function (r) { return fixed(r.c, 3); }},
      {key: 'score', label: 'score', title: 'c \u00d7 |r1 \u2212 r2|', show: function (r) { return fixed(r.score, 3); }},
      {key: 'p', label: 'p', ascending: true, show: function (r) { return pvalue(r.p); }}
    ];
    if (HAS_Q) columns.push({key: 'q', label: 'q', ascending: true, show: function (r) { return pvalue(r.q); }});
    if (HAS_CLASS) columns.push({key: 'dc_class', label: 'classes', text: true, title: 'correlation class in ' + CLASS1 + '/' + CLASS2,
                                 show: function (r) { return r.dc_class === null ? '\u2014' : r.dc_class; }});
    columns.push({key: 'direction', label: 'direction', text: true, show: directionCell});
    pairTable = sortableTable(byId('pair-table'), PAIRS, columns, function (r) { selectPair(r); }, TABLE_ROWS);

    var directionSelect = byId('direction-filter'), classSelect = byId('class-filter'), text = byId('pair-filter');
    Object.keys(DIRECTIONS).forEach(function (k) { directionSelect.appendChild(el('option', {value: k, text: DIRECTIONS[k].label})); });
    if (HAS_CLASS) {
      PAIRS.map(function (r) { return r.dc_class; }).filter(function (v, k, all) { return v !== null && all.indexOf(v) === k; })
        .sort().forEach(function (v) { classSelect.appendChild(el('option', {value: v, text: v})); });
    } else {
      byId('class-filter-label').hidden = true;
    }
    function apply() {
      var needle = text.value.trim().toLowerCase(), d = directionSelect.value, c = classSelect.value;
      var n = pairTable.filter(function (r) {
        return (!needle || r.gene_x.toLowerCase().indexOf(needle) >= 0 || r.gene_y.toLowerCase().indexOf(needle) >= 0) &&
          (!d || r.direction === d) && (!c || r.dc_class === c);
      });
      byId('pair-count').textContent = count(n) + ' of ' + count(PAIRS.length) + ' pairs';
    }
    [text, directionSelect, classSelect].forEach(function (e) { e.addEventListener('input', apply); });
    byId('pair-count').textContent = count(PAIRS.length) + ' of ' + count(PAIRS.length) + ' pairs';

    var notes = [];
    if (!HAS_Q) notes.push('q-values: not computed for this run' + (S.adjust === 'none' ? ' (no adjustment asked for).' : '.'));
    if (!HAS_CLASS) notes.push('Correlation classes: not computed for this run.');
    if (S.source === 'result file') notes.push('The numbers come from the result file ' + S.result_file + ', rounded to two decimals as written there; p = 10^log10(p).');
    byId('pair-notes').textContent = notes.join(' ');

    var overlay = byId('overlay');
    overlay.addEventListener('change', function () { state.overlay = overlay.checked; if (state.selected) drawScatter(state.selected); });
    var resizing = false, lastWidth = byId('scatter-plot').clientWidth;
    window.addEventListener('resize', function () {
      if (resizing) return;
      resizing = true;
      requestAnimationFrame(function () {
        resizing = false;
        var w = byId('scatter-plot').clientWidth;
        if (w !== lastWidth && state.selected) { lastWidth = w; drawScatter(state.selected); }
      });
    });
    figures.scatter = {title: 'Scatter plot', svg: function () { return byId('scatter-plot').querySelector('svg'); }};
    figureButtons('scatter', document.querySelector('[data-figure=scatter]'));
    if (PAIRS.length) selectPair(PAIRS[0]);
    else {
      byId('scatter').hidden = true;
      byId('pair-count').textContent = 'No pairs passed the criterion.';
    }
  }

  function selectPair(r) {
    if (state.selected && state.selected.__row) state.selected.__row.removeAttribute('aria-selected');
    state.selected = r;
    r.__row.setAttribute('aria-selected', 'true');
    drawScatter(r);
  }

  function fit(xs, ys) {
    var n = xs.length, mx = 0, my = 0, sxx = 0, sxy = 0;
    if (n < 2) return null;
    xs.forEach(function (v, k) { mx += v; my += ys[k]; });
    mx /= n; my /= n;
    xs.forEach(function (v, k) { sxx += (v - mx) * (v - mx); sxy += (v - mx) * (ys[k] - my); });
    if (!(sxx > 0)) return null;
    var b = sxy / sxx;
    return {slope: b, intercept: my - b * mx, lo: Math.min.apply(null, xs), hi: Math.max.apply(null, xs)};
  }

  function drawScatter(r) {
    var xs = data.expression.values[String(r.index_x)], ys = data.expression.values[String(r.index_y)];
    var cls = data.expression.classes, names = data.expression.samples;
    var groups = {1: {x: [], y: [], names: []}, 2: {x: [], y: [], names: []}};
    cls.forEach(function (c, k) { if (c === 1 || c === 2) { groups[c].x.push(xs[k]); groups[c].y.push(ys[k]); groups[c].names.push(names[k]); } });
    var allX = groups[1].x.concat(groups[2].x), allY = groups[1].y.concat(groups[2].y);
    function padded(v) {
      var lo = Math.min.apply(null, v), hi = Math.max.apply(null, v), pad = (hi - lo) * 0.06 || 1;
      return [lo - pad, hi + pad];
    }
    var xd = padded(allX), yd = padded(allY);
    var gx = geneLabel(r.gene_x, r.index_x), gy = geneLabel(r.gene_y, r.index_y);
    var panels = state.overlay ? [[1, 2]] : [[1], [2]];
    // As wide as the space there is, never scaled down: side by side when
    // that fits, else one above the other.
    var avail = Math.max(260, byId('scatter-plot').clientWidth || 600);
    var left = 62, top = 34, hgap = 72, vgap = 70;
    var across = state.overlay || avail < 2 * 180 + left + hgap + 16 ? 1 : 2;
    var pw = Math.min(state.overlay ? 420 : 260, Math.floor((avail - left - 16 - (across - 1) * hgap) / across));
    var ph = state.overlay ? Math.round(pw * 0.72) : pw, down = Math.ceil(panels.length / across);
    var width = left + across * pw + (across - 1) * hgap + 16, height = top + down * ph + (down - 1) * vgap + 86;
    var svg = svgRoot(width, height, 'Scatter plot of ' + gx + ' against ' + gy + ' in ' + CLASS1 + ' and ' + CLASS2);
    svg.setAttribute('data-rank', r.rank);
    svg.appendChild(svgEl('rect', {x: 0, y: 0, width: width, height: height, fill: '#fff'}));
    var points = 0;
    panels.forEach(function (members, k) {
      var box = {x: left + (k % across) * (pw + hgap), y: top + Math.floor(k / across) * (ph + vgap), w: pw, h: ph};
      var a = axes(svg, box, xd, yd, gx, gy);
      var title = members.length === 2 ? CLASS1 + ' and ' + CLASS2
        : (members[0] === 1 ? CLASS1 + ': r1 = ' + fixed(r.r1, 3) : CLASS2 + ': r2 = ' + fixed(r.r2, 3)) + ', n = ' + groups[members[0]].x.length;
      svg.appendChild(svgEl('text', {x: box.x, y: box.y - 10, 'font-size': 13, 'font-weight': 'bold', fill: '#111', text: title}));
      members.forEach(function (c) {
        var g = groups[c];
        g.x.forEach(function (v, j) {
          var m = marker(c, a.x(v), a.y(g.y[j]), 4.2);
          m.appendChild(svgEl('title', {text: g.names[j] + ' (' + (c === 1 ? CLASS1 : CLASS2) + '): ' + v + ', ' + g.y[j]}));
          m.setAttribute('class', 'point');
          svg.appendChild(m);
          points += 1;
        });
        var line = fit(g.x, g.y);
        if (line) {
          svg.appendChild(svgEl('line', {x1: a.x(line.lo), y1: a.y(line.intercept + line.slope * line.lo),
                                         x2: a.x(line.hi), y2: a.y(line.intercept + line.slope * line.hi),
                                         stroke: COLOUR[c], 'stroke-width': 2.5, 'stroke-dasharray': DASH[c]}));
        }
      });
    });
    // Legend: marker and line style of each class, one line each.
    [1, 2].forEach(function (c, k) {
      var lx = left, ly = height - 30 + k * 18;
      svg.appendChild(marker(c, lx + 6, ly - 4, 4.2));
      svg.appendChild(svgEl('line', {x1: lx + 16, x2: lx + 46, y1: ly - 4, y2: ly - 4, stroke: COLOUR[c], 'stroke-width': 2.5, 'stroke-dasharray': DASH[c]}));
      svg.appendChild(svgEl('text', {x: lx + 52, y: ly, 'font-size': 12, fill: '#111',
                                     text: (c === 1 ? CLASS1 + ' (class 1)' : CLASS2 + ' (class 2)') + ', least-squares line'}));
    });
    svg.setAttribute('data-points', points);
    var box = byId('scatter-plot');
    box.textContent = '';
    box.appendChild(svg);
    var d = DIRECTIONS[r.direction];
    byId('scatter-caption').textContent = 'Rank ' + r.rank + ': ' + gx + ' and ' + gy + '. Score ' + fixed(r.score, 3) +
      ', p = ' + pvalue(r.p) + (r.q !== null ? ', q = ' + pvalue(r.q) : '') + (r.dc_class ? ', classes ' + r.dc_class : '') +
      '; ' + d.label + '. r1 and r2 are biweight midcorrelations; the lines are least-squares fits per class.';
  }

  // --------------------------------------------------------------- network
  // Nodes and edges as tivarne.network.graph() makes them, so that the
  // files downloaded here equal those of tivarne-network.
  function networkGraph(records) {
    var names = {}, nodes = {}, order = [];
    records.forEach(function (r) {
      [[r.gene_x, r.index_x], [r.gene_y, r.index_y]].forEach(function (g) {
        (names[g[0]] = names[g[0]] || {})[g[1]] = true;
      });
    });
    records.forEach(function (r) {
      [[r.gene_x, r.index_x], [r.gene_y, r.index_y]].forEach(function (g) {
        if (!nodes[g[1]]) {
          var id = Object.keys(names[g[0]]).length === 1 ? g[0] : g[0] + '|' + g[1];
          nodes[g[1]] = {id: id, name: g[0], index: g[1], degree: 0};
          order.push(g[1]);
        }
        nodes[g[1]].degree += 1;
      });
    });
    var attributes = [['rank', 'int'], ['score', 'double'], ['r1', 'double'], ['r2', 'double'], ['c', 'double'], ['p_value', 'double']];
    if (hasAny(records, 'q')) attributes.push(['q_value', 'double']);
    if (hasAny(records, 'dc_class')) attributes.push(['dc_class', 'string']);
    attributes.push(['direction', 'string']);
    var edges = records.map(function (r) {
      var values = {rank: r.rank, score: r.score, r1: r.r1, r2: r.r2, c: r.c, p_value: r.p, q_value: r.q, dc_class: r.dc_class, direction: r.direction};
      var d = {};
      attributes.forEach(function (a) { if (values[a[0]] !== null && values[a[0]] !== undefined) d[a[0]] = values[a[0]]; });
      return {id: 'e' + r.rank, source: nodes[r.index_x].id, target: nodes[r.index_y].id, data: d, record: r};
    });
    return {nodes: order.map(function (i) { return nodes[i]; }), edges: edges, attributes: attributes};
  }
  function xml(text) {
    return String(text).replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;').replace(/"/g, '&quot;');
  }
  var NODE_ATTRIBUTES = [['name', 'string'], ['index', 'int'], ['degree', 'int']];
  function graphml(graph) {
    var out = ['<?xml version="1.0" encoding="UTF-8"?>', '<graphml xmlns="http://graphml.graphdrawing.org/xmlns">'];
    NODE_ATTRIBUTES.forEach(function (a) { out.push('  <key id="n_' + a[0] + '" for="node" attr.name="' + a[0] + '" attr.type="' + a[1] + '"/>'); });
    graph.attributes.forEach(function (a) { out.push('  <key id="e_' + a[0] + '" for="edge" attr.name="' + a[0] + '" attr.type="' + a[1] + '"/>'); });
    out.push('  <graph id="tivarne" edgedefault="undirected">');
    graph.nodes.forEach(function (n) {
      out.push('    <node id="' + xml(n.id) + '">' + NODE_ATTRIBUTES.map(function (a) {
        return '<data key="n_' + a[0] + '">' + xml(n[a[0]]) + '</data>';
      }).join('') + '</node>');
    });
    graph.edges.forEach(function (e) {
      out.push('    <edge id="' + xml(e.id) + '" source="' + xml(e.source) + '" target="' + xml(e.target) + '">' +
        Object.keys(e.data).map(function (k) { return '<data key="e_' + k + '">' + xml(e.data[k]) + '</data>'; }).join('') + '</edge>');
    });
    out.push('  </graph>', '</graphml>');
    return out.join('\n') + '\n';
  }
  function cytoscapeJson(graph) {
    return JSON.stringify({
      format_version: '1.0', generated_by: 'tivarne', data: {name: 'tivarne'}, directed: false, multigraph: false,
      elements: {
        nodes: graph.nodes.map(function (n) { return {data: {id: n.id, name: n.name, index: n.index, degree: n.degree, value: n.id}}; }),
        edges: graph.edges.map(function (e) { return {data: Object.assign({}, e.data, {id: e.id, source: e.source, target: e.target})}; })
      }
    }, null, 1) + '\n';
  }

  var NET = networkGraph(PAIRS.slice(0, Math.min(S.network_edges, PAIRS.length)));
  api.graphml = function () { return graphml(NET); };
  api.cytoscapeJson = function () { return cytoscapeJson(NET); };

  function network() {
    var help = byId('network-help');
    var legend = byId('network-legend');
    Object.keys(DIRECTIONS).forEach(function (k) {
      var d = DIRECTIONS[k];
      legend.appendChild(el('span', {}, [lineSample(d.colour, d.dash, 3), d.label]));
    });
    if (!NET.edges.length) {
      help.textContent = 'No pairs to draw.';
      byId('cy').hidden = true;
      return finish();
    }
    clearGene();
    help.textContent = (NET.edges.length < PAIRS.length ? 'The first ' + count(NET.edges.length) + ' of the ' + count(PAIRS.length) + ' pairs'
      : 'All ' + count(NET.edges.length) + ' pairs') + ' as edges between their ' + count(NET.nodes.length) +
      ' genes. Node size: the gene\u2019s number of pairs here; the hubs are labelled. Drag to move, scroll to zoom, ' +
      'hover for numbers, click a gene to list its pairs.';
    var maxDegree = Math.max.apply(null, NET.nodes.map(function (n) { return n.degree; }));
    var byDegree = NET.nodes.slice().sort(function (a, b) { return b.degree - a.degree; });
    var hubs = {};
    byDegree.forEach(function (n, k) { if (NET.nodes.length <= 40 || (k < 15 && n.degree >= 3)) hubs[n.id] = true; });
    var datalist = byId('gene-names');
    NET.nodes.map(function (n) { return n.name; }).sort().forEach(function (name) { datalist.appendChild(el('option', {value: name})); });

    var positions = layoutPositions(NET);
    var elements = NET.nodes.map(function (n) {
      var size = maxDegree > 1 ? 14 + 30 * Math.sqrt((n.degree - 1) / (maxDegree - 1)) : 16;
      return {group: 'nodes', data: {id: n.id, name: n.name, index: n.index, degree: n.degree, size: size},
              position: positions[n.id], classes: hubs[n.id] ? 'hub' : ''};
    }).concat(NET.edges.map(function (e) {
      return {group: 'edges', data: {id: e.id, source: e.source, target: e.target, direction: e.record.direction, rank: e.record.rank}};
    }));
    // Zoomed out, nodes shrink less than the picture (by the square root of
    // the zoom); edges, their dashes and the labels keep their size on the screen.
    var view = {grow: 1, thick: 1, zoom: 1};
    function size(n) { return n.data('size') * view.grow; }
    var style = [
      {selector: 'node', style: {width: size, height: size, 'background-color': '#a7b0ba', 'border-width': 1,
        'border-color': '#3d434a', label: '', 'font-size': function () { return 13 / view.zoom; }, color: '#111',
        'text-valign': 'top', 'text-margin-y': function () { return -3 / view.zoom; }, 'text-outline-color': '#fff',
        'text-outline-width': function () { return 2 / view.zoom; }, 'font-family': FONT}},
      {selector: 'node.hub', style: {label: 'data(name)', 'background-color': '#5d6670', 'font-weight': 'bold'}},
      {selector: 'node.picked', style: {label: 'data(name)', 'border-width': 3, 'border-color': '#000', 'background-color': '#f0c419'}},
      {selector: 'node.near', style: {label: 'data(name)'}},
      {selector: 'edge', style: {width: function () { return 2.2 * view.thick; }, 'curve-style': 'straight', opacity: 0.9}},
      {selector: '.faded', style: {opacity: 0.12}}
    ];
    Object.keys(DIRECTIONS).forEach(function (k) {
      var dash = DIRECTIONS[k].dash ? DIRECTIONS[k].dash.split(' ').map(Number) : [6, 3];
      style.push({selector: 'edge[direction = "' + k + '"]', style: {'line-color': DIRECTIONS[k].colour, 'line-style': DIRECTIONS[k].line,
        'line-dash-pattern': function () { return dash.map(function (v) { return v * view.thick; }); }}});
    });
    // The positions come with the elements, and the view that fits them is
    // worked out here: cytoscape's own fit would measure every element first.
    var box = byId('cy'), x0 = Infinity, y0 = Infinity, x1 = -Infinity, y1 = -Infinity;
    elements.forEach(function (e) {
      if (!e.position) return;
      var r = e.data.size / 2 + 4;
      x0 = Math.min(x0, e.position.x - r); x1 = Math.max(x1, e.position.x + r);
      y0 = Math.min(y0, e.position.y - r - 16); y1 = Math.max(y1, e.position.y + r);
    });
    var pad = 24, W = Math.max(box.clientWidth, 100), H = Math.max(box.clientHeight, 100);
    var zoom = Math.min(6, Math.max(0.05, Math.min((W - 2 * pad) / (x1 - x0 || 1), (H - 2 * pad) / (y1 - y0 || 1))));
    var pan = {x: (W - (x1 - x0) * zoom) / 2 - x0 * zoom, y: (H - (y1 - y0) * zoom) / 2 - y0 * zoom};
    var cy = state.cy = api.cy = cytoscape({container: box, elements: elements, style: style, wheelSensitivity: 0.3,
                                             minZoom: 0.05, maxZoom: 6, boxSelectionEnabled: false, zoom: zoom, pan: pan,
                                             layout: {name: 'preset', fit: false}});
    var recordOf = {};
    NET.edges.forEach(function (e) { recordOf[e.id] = e.record; });
    var tip = byId('tooltip');
    function showTip(event, html) {
      tip.textContent = '';
      append(tip, html);
      tip.hidden = false;
      moveTip(event);
    }
    function moveTip(event) {
      var o = event.originalEvent;
      if (!o) return;
      tip.style.left = Math.min(o.clientX + 14, window.innerWidth - tip.offsetWidth - 8) + 'px';
      tip.style.top = Math.min(o.clientY + 14, window.innerHeight - tip.offsetHeight - 8) + 'px';
    }
    cy.on('mouseover', 'node', function (event) {
      var n = event.target.data();
      showTip(event, [el('strong', {text: n.name}), ' (row ' + n.index + ')', el('br'), count(n.degree) + (n.degree === 1 ? ' pair' : ' pairs') + ' in the network']);
    });
    cy.on('mouseover', 'edge', function (event) {
      var r = recordOf[event.target.id()];
      showTip(event, [el('strong', {text: r.gene_x + ' \u2013 ' + r.gene_y}), ' (rank ' + r.rank + ')', el('br'),
        'r1 = ' + fixed(r.r1, 3) + ' (' + CLASS1 + '), r2 = ' + fixed(r.r2, 3) + ' (' + CLASS2 + ')', el('br'),
        'score ' + fixed(r.score, 3) + ', p = ' + pvalue(r.p) + (r.q !== null ? ', q = ' + pvalue(r.q) : ''), el('br'),
        DIRECTIONS[r.direction].label + (r.dc_class ? '; classes ' + r.dc_class : '')]);
    });
    cy.on('mousemove', 'node, edge', moveTip);
    cy.on('mouseout', 'node, edge', function () { tip.hidden = true; });
    cy.on('tap', 'node', function (event) { pickGene(event.target); });
    cy.on('tap', 'edge', function (event) { selectPair(recordOf[event.target.id()]); });
    cy.on('tap', function (event) { if (event.target === cy) clearGene(); });
    byId('network-fit').addEventListener('click', function () { cy.fit(undefined, 20); });
    byId('gene-find').addEventListener('change', function () {
      var wanted = this.value.trim().toLowerCase();
      var node = cy.nodes().filter(function (n) { return n.data('name').toLowerCase() === wanted; })[0];
      if (node) { pickGene(node); cy.animate({center: {eles: node}, zoom: Math.max(cy.zoom(), 1)}, {duration: 300}); }
    });

    figures.network = {title: 'Network', svg: networkSvg, png: function (done) {
      done(cy.png({output: 'blob', full: true, maxWidth: 2400, maxHeight: 2400, bg: '#ffffff'}));
    }};
    figureButtons('network', document.querySelector('[data-figure=network]'));
    var pending = false;
    function restyle() {
      pending = false;
      var z = cy.zoom();
      if (Math.abs(z - view.zoom) < 1e-3 * z) return;
      view.zoom = z;
      view.grow = z < 1 ? 1 / Math.sqrt(z) : 1;
      view.thick = z < 1 ? 1 / z : 1;
      cy.style().update();
    }
    cy.on('zoom', function () { if (!pending) { pending = true; requestAnimationFrame(restyle); } });
    restyle();
    finish();
  }

  // Positions of the nodes: each connected part laid out by forces
  // (Fruchterman-Reingold: every node pushes every other of its part away, each
  // edge pulls its ends together, steps shrinking), the parts then packed in
  // rows, largest first. Deterministic, and fast for a few hundred edges.
  function layoutPositions(graph) {
    var n = graph.nodes.length, at = {}, near = graph.nodes.map(function () { return []; });
    graph.nodes.forEach(function (d, i) { at[d.id] = i; });
    graph.edges.forEach(function (e) { near[at[e.source]].push(at[e.target]); near[at[e.target]].push(at[e.source]); });
    var part = new Array(n).fill(-1), parts = [];
    for (var i = 0; i < n; i++) {
      if (part[i] >= 0) continue;
      var members = [i];
      part[i] = parts.length;
      for (var k = 0; k < members.length; k++) {
        near[members[k]].forEach(function (j) { if (part[j] < 0) { part[j] = parts.length; members.push(j); } });
      }
      parts.push(members);
    }
    parts.sort(function (a, b) { return b.length - a.length || a[0] - b[0]; });
    var L = 48, seed = 12345;
    function random() { seed = (seed * 1103515245 + 12345) % 2147483648; return seed / 2147483648; }
    var x = new Float64Array(n), y = new Float64Array(n);
    var boxes = parts.map(function (members) {
      var m = members.length, radius = L * Math.sqrt(m) / 2;
      members.forEach(function (v, k) {
        var angle = 2 * Math.PI * k / m;
        x[v] = radius * Math.cos(angle) + random(); y[v] = radius * Math.sin(angle) + random();
      });
      if (m > 2) {
        var local = {};
        members.forEach(function (v, k) { local[v] = k; });
        var dx = new Float64Array(m), dy = new Float64Array(m), t = radius, rounds = m > 150 ? 160 : 260;
        for (var round = 0; round < rounds; round++) {
          dx.fill(0); dy.fill(0);
          for (var a = 0; a < m; a++) {
            var va = members[a];
            for (var b = a + 1; b < m; b++) {
              var vb = members[b], ex = x[va] - x[vb], ey = y[va] - y[vb], d2 = ex * ex + ey * ey + 0.01;
              var f = L * L / d2;
              dx[a] += ex * f; dy[a] += ey * f; dx[b] -= ex * f; dy[b] -= ey * f;
            }
            near[va].forEach(function (vb) {
              var ex = x[va] - x[vb], ey = y[va] - y[vb], d = Math.sqrt(ex * ex + ey * ey) + 0.01;
              dx[a] -= ex * d / L; dy[a] -= ey * d / L;
            });
          }
          for (a = 0; a < m; a++) {
            var len = Math.sqrt(dx[a] * dx[a] + dy[a] * dy[a]) + 1e-9, step = Math.min(len, t);
            x[members[a]] += dx[a] / len * step; y[members[a]] += dy[a] / len * step;
          }
          t = Math.max(t * 0.97, 1);
        }
      }
      var x0 = Infinity, y0 = Infinity, x1 = -Infinity, y1 = -Infinity;
      members.forEach(function (v) { x0 = Math.min(x0, x[v]); y0 = Math.min(y0, y[v]); x1 = Math.max(x1, x[v]); y1 = Math.max(y1, y[v]); });
      return {members: members, x0: x0, y0: y0, w: x1 - x0, h: y1 - y0};
    });
    var area = boxes.reduce(function (s, b) { return s + (b.w + L) * (b.h + L); }, 0);
    var width = Math.max(boxes[0].w + L, Math.sqrt(area) * 1.4), cx = 0, cy = 0, rowH = 0, positions = {};
    boxes.forEach(function (b) {
      if (cx > 0 && cx + b.w > width) { cx = 0; cy += rowH + L; rowH = 0; }
      b.members.forEach(function (v) { positions[graph.nodes[v].id] = {x: x[v] - b.x0 + cx, y: y[v] - b.y0 + cy}; });
      cx += b.w + L; rowH = Math.max(rowH, b.h);
    });
    return positions;
  }

  function pickGene(node) {
    var cy = state.cy;
    cy.elements().removeClass('picked near faded');
    var around = node.closedNeighborhood();
    cy.elements().not(around).addClass('faded');
    node.addClass('picked');
    around.nodes().not(node).addClass('near');
    var index = node.data('index');
    var mine = PAIRS.filter(function (r) { return r.index_x === index || r.index_y === index; });
    var side = byId('gene-pairs');
    side.textContent = '';
    side.appendChild(el('h3', {text: node.data('name') + ': ' + count(mine.length) + (mine.length === 1 ? ' pair' : ' pairs')}));
    if (mine.length > node.degree()) side.appendChild(el('p', {'class': 'note', text: count(node.degree()) + ' of them in the network.'}));
    var table = el('table', {'class': 'data'}, [el('thead'), el('tbody')]);
    side.appendChild(table);
    sortableTable(table, mine.map(function (r) {
      var other = r.index_x === index ? r.gene_y : r.gene_x;
      return {rank: r.rank, partner: other, score: r.score, p: r.p, direction: r.direction, pair: r};
    }), [
      {key: 'rank', label: 'rank'}, {key: 'partner', label: 'partner', text: true, name: true},
      {key: 'score', label: 'score', show: function (r) { return fixed(r.score, 3); }},
      {key: 'p', label: 'p', ascending: true, show: function (r) { return pvalue(r.p); }},
      {key: 'direction', label: 'direction', text: true, show: directionCell}
    ], function (r) { selectPair(r.pair); byId('scatter').scrollIntoView({block: 'nearest'}); }, Infinity);
  }
  function clearGene() {
    if (state.cy) state.cy.elements().removeClass('picked near faded');
    var side = byId('gene-pairs');
    side.textContent = '';
    side.appendChild(el('p', {'class': 'help', text: 'Click a gene (or find it by name) to list its pairs here.'}));
  }

  // The network as drawn now, as SVG: edges with their line styles, nodes by size, hub labels.
  function networkSvg() {
    var cy = state.cy, box = cy.elements().boundingBox(), pad = 30;
    var w = Math.max(200, Math.ceil(box.w + 2 * pad)), h = Math.max(200, Math.ceil(box.h + 2 * pad));
    var k = Math.min(1, 1600 / Math.max(w, h));
    var svg = svgRoot(Math.round(w * k), Math.round(h * k), 'Network of the top pairs');
    var g = svgEl('g', {transform: 'scale(' + k + ') translate(' + (pad - box.x1) + ',' + (pad - box.y1) + ')'});
    svg.appendChild(svgEl('rect', {x: 0, y: 0, width: Math.round(w * k), height: Math.round(h * k), fill: '#fff'}));
    svg.appendChild(g);
    cy.edges().forEach(function (e) {
      var a = e.source().position(), b = e.target().position(), d = DIRECTIONS[e.data('direction')];
      g.appendChild(svgEl('line', {x1: a.x, y1: a.y, x2: b.x, y2: b.y, stroke: d.colour, 'stroke-width': 2.2, 'stroke-dasharray': d.dash}));
    });
    cy.nodes().forEach(function (n) {
      var p = n.position();
      g.appendChild(svgEl('circle', {cx: p.x, cy: p.y, r: n.data('size') / 2, fill: n.hasClass('hub') ? '#5d6670' : '#a7b0ba', stroke: '#3d434a'}));
    });
    cy.nodes('.hub, .picked').forEach(function (n) {
      var p = n.position();
      g.appendChild(svgEl('text', {x: p.x, y: p.y - n.data('size') / 2 - 4, 'text-anchor': 'middle', 'font-size': 12, 'font-weight': 'bold',
                                   stroke: '#fff', 'stroke-width': 3, 'paint-order': 'stroke', fill: '#111', text: n.data('name')}));
    });
    return svg;
  }

  // ----------------------------------------------------------------- genes
  function genes() {
    var body = byId('genes-body');
    if (!data.genes) {
      body.appendChild(absent('Gene-level summary (each gene\u2019s number of passing partners over all pairs and its over-representation test): not computed for this run.'));
      return;
    }
    var G = data.genes;
    body.appendChild(el('p', {'class': 'help', text: 'Each gene\u2019s number of partners passing the criterion over all pairs (degree), the number an even spread of the passing pairs would give it (expected), and the test of whether it has more; ranked by that test\u2019s p-value.'}));
    var chart = el('figure', {'class': 'figure', id: 'hub-chart'});
    body.appendChild(chart);
    figures.hubs = {title: 'Hub bar chart', svg: function () { return hubChart(G); }};
    chart.appendChild(hubChart(G));
    var buttons = el('div', {'class': 'figure-buttons'});
    chart.appendChild(buttons);
    figureButtons('hubs', buttons);
    var box = el('div', {'class': 'table-box'});
    var table = el('table', {'class': 'data', id: 'gene-table'}, [el('thead'), el('tbody')]);
    box.appendChild(table);
    body.appendChild(box);
    var q = hasAny(G, 'q');
    sortableTable(table, G, [
      {key: 'gene', label: 'gene', text: true, name: true},
      {key: 'degree', label: 'degree'},
      {key: 'expected', label: 'expected', show: function (r) { return fixed(r.expected, 2); }},
      {key: 'stronger_in_class1', label: 'stronger in ' + CLASS1},
      {key: 'stronger_in_class2', label: 'stronger in ' + CLASS2},
      {key: 'sign_changes', label: 'sign changes'},
      {key: 'p', label: 'p', ascending: true, show: function (r) { return pvalue(r.p); }},
      {key: 'q', label: 'q', ascending: true, show: function (r) { return q ? pvalue(r.q) : '\u2014'; }}
    ], null, 200);
  }

  function hubChart(G) {
    var top = G.slice().sort(function (a, b) { return b.degree - a.degree || (a.p - b.p); }).slice(0, 20);
    var rowH = 22, left = 150, width = 620, plotW = width - left - 90, height = 56 + top.length * rowH + 40;
    var svg = svgRoot(width, height, 'The genes with the most passing partners');
    svg.appendChild(svgEl('rect', {x: 0, y: 0, width: width, height: height, fill: '#fff'}));
    var defs = svgEl('defs', {}, svgEl('pattern', {id: 'hatch2', width: 6, height: 6, patternUnits: 'userSpaceOnUse', patternTransform: 'rotate(45)'},
      [svgEl('rect', {width: 6, height: 6, fill: '#cfe3f3'}), svgEl('line', {x1: 0, y1: 0, x2: 0, y2: 6, stroke: COLOUR[2], 'stroke-width': 3})]));
    svg.appendChild(defs);
    var maxD = Math.max.apply(null, top.map(function (g) { return Math.max(g.degree, g.expected || 0); }).concat([1]));
    var x = scale(0, maxD, left, left + plotW);
    svg.appendChild(svgEl('text', {x: 8, y: 18, 'font-size': 13, 'font-weight': 'bold', fill: '#111', text: 'Top hubs: passing partners per gene'}));
    [[COLOUR[1], CLASS1, 'solid'], ['url(#hatch2)', CLASS2, 'hatched']].forEach(function (l, k) {
      svg.appendChild(svgEl('rect', {x: 8 + k * 220, y: 28, width: 14, height: 12, fill: l[0], stroke: '#222'}));
      svg.appendChild(svgEl('text', {x: 28 + k * 220, y: 39, 'font-size': 12, fill: '#111', text: 'stronger in ' + l[1] + ' (' + l[2] + ')'}));
    });
    svg.appendChild(svgEl('line', {x1: 448, x2: 448, y1: 27, y2: 41, stroke: '#000', 'stroke-width': 2}));
    svg.appendChild(svgEl('text', {x: 454, y: 39, 'font-size': 12, fill: '#111', text: 'expected'}));
    top.forEach(function (g, k) {
      var y = 52 + k * rowH;
      svg.appendChild(svgEl('text', {x: left - 6, y: y + 14, 'text-anchor': 'end', 'font-size': 12, fill: '#111', text: g.gene.length > 22 ? g.gene.slice(0, 21) + '\u2026' : g.gene}));
      svg.appendChild(svgEl('rect', {x: left, y: y + 3, width: x(g.stronger_in_class1) - left, height: rowH - 6, fill: COLOUR[1], stroke: '#222', 'stroke-width': 0.5}));
      svg.appendChild(svgEl('rect', {x: x(g.stronger_in_class1), y: y + 3, width: x(g.stronger_in_class1 + g.stronger_in_class2) - x(g.stronger_in_class1), height: rowH - 6, fill: 'url(#hatch2)', stroke: '#222', 'stroke-width': 0.5}));
      if (g.expected !== null) svg.appendChild(svgEl('line', {x1: x(g.expected), x2: x(g.expected), y1: y + 1, y2: y + rowH - 1, stroke: '#000', 'stroke-width': 2}));
      svg.appendChild(svgEl('text', {x: x(Math.max(g.degree, g.expected || 0)) + 6, y: y + 14, 'font-size': 12, fill: '#333',
                                     text: g.degree + (g.sign_changes ? ' (' + g.sign_changes + ' \u00b1)' : '')}));
    });
    var axisY = 52 + top.length * rowH + 4;
    ticks(0, maxD, 5).forEach(function (t) {
      svg.appendChild(svgEl('line', {x1: x(t), x2: x(t), y1: axisY, y2: axisY + 4, stroke: '#555'}));
      svg.appendChild(svgEl('text', {x: x(t), y: axisY + 17, 'text-anchor': 'middle', 'font-size': 12, fill: '#333', text: tickText(t)}));
    });
    svg.appendChild(svgEl('line', {x1: left, x2: left + plotW, y1: axisY, y2: axisY, stroke: '#555'}));
    svg.appendChild(svgEl('text', {x: left + plotW / 2, y: axisY + 33, 'text-anchor': 'middle', 'font-size': 12, fill: '#111', text: 'degree (\u00b1: sign changes)'}));
    return svg;
  }

  // ------------------------------------------------------- all-pairs picture
  function allPairs() {
    var body = byId('all-pairs-body'), H = data.histograms;
    if (!H) {
      body.appendChild(absent('The all-pairs picture (histograms of every pair\u2019s score and p-value, QQ plot of the p-values): not computed for this run.'));
      return;
    }
    body.appendChild(el('p', {'class': 'help', text: 'Every pair of genes, not only those shown. If the test is calibrated on these data, the p-values of pairs without a real change are uniform: the QQ plot follows the diagonal except for a tail of true changes at the top right.'}));
    var charts = el('div', {'class': 'charts'});
    body.appendChild(charts);
    [['scores', 'Scores of all pairs', function () { return histogram(H.score.edges, H.score.counts, 'score', H.score.cut, 'Scores of all pairs'); }],
     ['p-values', 'P-values of all pairs', function () { return histogram(H.p_value.log10_edges, H.p_value.counts, 'log10 p-value', null, 'P-values of all pairs' + (H.pairs_with_p_value !== undefined && H.pairs_with_p_value !== null ? ' (' + count(H.pairs_with_p_value) + ' with a p-value)' : '')); }],
     ['qq', 'QQ plot of the p-values', function () { return qqPlot(H); }]
    ].forEach(function (f) {
      figures[f[0]] = {title: f[1], svg: f[2]};
      var figure = el('figure', {'class': 'figure', id: 'figure-' + f[0]});
      figure.appendChild(f[2]());
      var buttons = el('div', {'class': 'figure-buttons'});
      figure.appendChild(buttons);
      charts.appendChild(figure);
      figureButtons(f[0], buttons);
    });
  }

  // Bars over bin edges, the counts on a log scale (the tail of a few pairs stays visible).
  function histogram(edges, counts, xLabel, cut, title) {
    var width = 480, height = 300, box = {x: 66, y: 30, w: 390, h: 200};
    var svg = svgRoot(width, height, title);
    svg.appendChild(svgEl('rect', {x: 0, y: 0, width: width, height: height, fill: '#fff'}));
    svg.appendChild(svgEl('text', {x: 8, y: 18, 'font-size': 13, 'font-weight': 'bold', fill: '#111', text: title}));
    var top = Math.max(1, Math.ceil(Math.log10(Math.max.apply(null, counts.concat([1]))) + 0.05));
    var yTicks = [];
    for (var t = 0; t <= top; t++) yTicks.push(t);
    var a = axes(svg, box, [edges[0], edges[edges.length - 1]], [0, top + 0.01], xLabel, 'pairs',
                 {yTicks: yTicks, yText: function (t) { return t === 0 ? '1' : t < 4 ? String(Math.pow(10, t)) : '1e' + t; }});
    counts.forEach(function (c, k) {
      if (c <= 0) return;
      var h = Math.log10(c) + 0.15;   // a bin of one pair still shows
      var x0 = a.x(edges[k]), x1 = a.x(edges[k + 1]);
      svg.appendChild(svgEl('rect', {x: x0, y: a.y(h), width: Math.max(0.8, x1 - x0 - 0.3), height: a.y(0) - a.y(h),
                                     fill: cut !== null && edges[k] >= cut ? '#d55e00' : '#7f8c99'},
                            svgEl('title', {text: edges[k] + ' to ' + edges[k + 1] + ': ' + count(c) + ' pairs'})));
    });
    if (cut !== null && cut !== undefined) {
      svg.appendChild(svgEl('line', {x1: a.x(cut), x2: a.x(cut), y1: box.y, y2: box.y + box.h, stroke: '#000', 'stroke-width': 2, 'stroke-dasharray': '6 3'}));
      svg.appendChild(svgEl('text', {x: a.x(cut) + 4, y: box.y + 14, 'font-size': 12, fill: '#000', text: 'cut ' + fixed(cut, 3)}));
    }
    svg.appendChild(svgEl('text', {x: box.x, y: height - 8, 'font-size': 12, fill: '#555', text: 'pairs per bin on a log scale' + (cut !== null ? '; at and above the cut in orange' : '')}));
    return svg;
  }

  // QQ plot of -log10 p against the uniform, from the binned p-values: where
  // k of n pairs have p <= 10^e, the k-th smallest p-value is about 10^e.
  function qqPlot(H) {
    var edges = H.p_value.log10_edges, counts = H.p_value.counts;
    var n = counts.reduce(function (s, c) { return s + c; }, 0), cum = 0, points = [];
    counts.forEach(function (c, k) {
      cum += c;
      if (cum > 0 && edges[k + 1] <= 0) points.push([-Math.log10(cum / n), -edges[k + 1]]);
    });
    var width = 420, height = 320, box = {x: 66, y: 30, w: 320, h: 230};
    var svg = svgRoot(width, height, 'QQ plot of the p-values against the uniform distribution');
    svg.appendChild(svgEl('rect', {x: 0, y: 0, width: width, height: height, fill: '#fff'}));
    svg.appendChild(svgEl('text', {x: 8, y: 18, 'font-size': 13, 'font-weight': 'bold', fill: '#111', text: 'QQ plot of the p-values'}));
    var hi = Math.max(1, Math.max.apply(null, points.map(function (p) { return Math.max(p[0], p[1]); }).concat([1])));
    var a = axes(svg, box, [0, hi], [0, hi], 'expected \u2212log10 p (uniform)', 'observed \u2212log10 p');
    svg.appendChild(svgEl('line', {x1: a.x(0), y1: a.y(0), x2: a.x(hi), y2: a.y(hi), stroke: '#888', 'stroke-dasharray': '5 4'}));
    if (S.level > 0 && S.adjust === 'none') {
      var lv = -Math.log10(S.level);
      if (lv <= hi) svg.appendChild(svgEl('line', {x1: box.x, x2: box.x + box.w, y1: a.y(lv), y2: a.y(lv), stroke: '#d55e00', 'stroke-dasharray': '2 3'}));
    }
    points.forEach(function (p) {
      svg.appendChild(svgEl('circle', {cx: a.x(p[0]), cy: a.y(p[1]), r: 3, fill: '#0072b2', stroke: '#123'}));
    });
    svg.appendChild(svgEl('text', {x: box.x, y: height - 8, 'font-size': 12, fill: '#555', text: 'dashed: the diagonal' + (S.adjust === 'none' ? '; dotted: the level' : '')}));
    return svg;
  }

  // ------------------------------------------------------------- downloads
  function tsv(records, columns) {
    var cell = function (v) { return v === null || v === undefined ? 'NA' : String(v); };
    return [columns.join('\t')].concat(records.map(function (r) {
      return columns.map(function (c) { return cell(r[c[0] === '@' ? c.slice(1) : c]); }).join('\t');
    })).join('\n') + '\n';
  }
  api.pairsTsv = function () {
    return tsv(PAIRS.map(function (r) { return Object.assign({p_value: r.p, q_value: r.q}, r); }),
               ['rank', 'gene_x', 'gene_y', 'index_x', 'index_y', 'score', 'r1', 'r2', 'c', 'p_value', 'q_value', 'dc_class', 'direction']);
  };
  function downloads() {
    var list = byId('download-list');
    function item(what, buttons) { list.appendChild(el('li', {}, [el('span', {'class': 'what', text: what})].concat(buttons))); }
    function button(text, action) { return el('button', {type: 'button', text: text, onclick: action}); }
    item('Pairs (' + count(PAIRS.length) + ')', [button('TSV', function () { save(FILE + '-pairs.tsv', api.pairsTsv(), 'text/tab-separated-values'); })]);
    if (data.genes) {
      item('Genes (' + count(data.genes.length) + ')', [button('TSV', function () {
        save(FILE + '-genes.tsv', tsv(data.genes, ['gene', 'degree', 'expected', 'stronger_in_class1', 'stronger_in_class2', 'sign_changes', 'p', 'q']), 'text/tab-separated-values');
      })]);
    } else {
      item('Genes', [el('span', {'class': 'absent', text: 'not computed for this run'})]);
    }
    item('Network (' + count(NET.edges.length) + ' edges)', [
      button('GraphML', function () { save(FILE + '-network.graphml', api.graphml(), 'application/xml'); }),
      button('Cytoscape JSON', function () { save(FILE + '-network.cyjs', api.cytoscapeJson(), 'application/json'); })]);
    Object.keys(figures).forEach(function (name) {
      var box = el('span', {'class': 'figure-buttons'});
      item(figures[name].title, [box]);
      figureButtons(name, box);
    });
    item('All the data of this report', [button('JSON', function () {
      save(FILE + '-data.json', document.getElementById('tivarne-data').textContent, 'application/json');
    })]);
  }

  function finish() {
    if (api.ready) return;
    downloads();
    api.ready = true;
    performance.mark('tivarne-ready');
    // The rest of the tables' rows, once the page is on the screen.
    setTimeout(function () {
      later.splice(0).forEach(function (f) { f(); });
      api.complete = true;
      performance.mark('tivarne-complete');
    }, 0);
  }

  summary();
  pairs();
  genes();
  allPairs();
  network();
})();
