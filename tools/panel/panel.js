'use strict';
// The panel's page: shows the state the tool pushes (Server-Sent Events) and
// sends the driver's commands. It never asks the stage anything itself.

const token = new URLSearchParams(location.search).get('token') || '';
const $ = (id) => document.getElementById(id);
const AXES = ['x', 'y', 'z'];
const HOLD_EVERY_MS = 150;   // "still holding" while a jog button or key is held
const LOST_AFTER_MS = 3000;  // no event for this long: the tool is out of reach
const PATH_POINTS = 5000;

let seat = 0;
let catalogue = [];
let last = null;          // the last state pushed
let lastEventAt = 0;
let eventTimes = [];      // arrival times of the last events, for the rate
let messagesSeen = -1;
let path = [];
let pathEpoch = -1;
let pickersSet = false;
let holding = null;       // the interval that says "still holding"

// Counters the browser test reads.
window.panelStats = { events: 0, rate: 0 };

function query(params) {
  return new URLSearchParams({ token, seat, ...params }).toString();
}

function tell(text, error) {
  const message = $('message');
  message.textContent = text;
  message.classList.toggle('error', !!error);
}

// POSTs a command; a refusal or failure is shown in words.
async function command(name, params = {}, quietly = false) {
  try {
    const reply = await fetch('/api/' + name + '?' + query(params), { method: 'POST' });
    const body = await reply.json().catch(() => ({ ok: false, error: 'HTTP ' + reply.status }));
    if (!body.ok && !quietly) tell(body.error, true);
    return body.ok;
  } catch (error) {
    if (!quietly) tell('the tool did not answer: ' + error.message, true);
    return false;
  }
}

async function getJson(name) {
  const reply = await fetch('/api/' + name + '?' + query({}));
  return reply.json();
}

// ---- Pickers -------------------------------------------------------------

function fill(select, items, label, value) {
  select.replaceChildren(...items.map((item) => {
    const option = document.createElement('option');
    option.textContent = label(item);
    option.value = value(item);
    return option;
  }));
}

function makerOf(type) {
  return catalogue.find((maker) => maker.type === Number(type));
}

function fillModels() {
  const maker = makerOf($('maker').value);
  fill($('model'), maker ? maker.models : [], (m) => m.name + ' (' + m.axes + ' axes)', (m) => m.name);
  const units = maker ? [maker.speedUnit, maker.accelUnit] : ['', ''];
  document.querySelectorAll('.unit').forEach((e) => { e.textContent = units[0] && '(' + units[0] + ')'; });
  document.querySelectorAll('.accel-unit').forEach((e) => { e.textContent = units[1] && '(' + units[1] + ')'; });
}

async function loadPickers() {
  catalogue = await getJson('catalogue');
  fill($('maker'), catalogue, (m) => m.name + (m.shortName ? ' (' + m.shortName + ')' : ''), (m) => m.type);
  fillModels();
  const ports = await getJson('ports');
  fill($('port'), ports, (p) => p.label, (p) => JSON.stringify(p));
}

// The stage's axis count, from the catalogue (model names ignore case).
function axesOf(stage) {
  const maker = makerOf(stage.makerType);
  const name = stage.model.toLowerCase();
  const model = maker && maker.models.find((m) => m.name.toLowerCase() === name);
  return model ? model.axes : 3;
}

// Shows the connected stage in the pickers, once.
function pickConnected(stage) {
  if (pickersSet || !stage.connected || catalogue.length === 0) return;
  pickersSet = true;
  $('maker').value = stage.makerType;
  fillModels();
  for (const option of $('model').options) {
    if (option.value.toLowerCase() === stage.model.toLowerCase()) $('model').value = option.value;
  }
  for (const option of $('port').options) {
    if (JSON.parse(option.value).device === stage.device) $('port').value = option.value;
  }
}

$('maker').addEventListener('change', fillModels);
$('connect').addEventListener('click', () => {
  const port = JSON.parse($('port').value || '{}');
  const where = port.port >= 0 ? { port: port.port } : { device: port.device || '' };
  command('connect', { maker: $('maker').value, model: $('model').value, ...where });
});
$('disconnect').addEventListener('click', () => command('disconnect'));
$('drive').addEventListener('click', () => command('drive'));

// ---- The plot of the path ------------------------------------------------

function drawPlot(stage) {
  const canvas = $('plot');
  const g = canvas.getContext('2d');
  const w = canvas.width, h = canvas.height, margin = 24;
  g.clearRect(0, 0, w, h);
  const points = path.slice();
  if (stage && stage.target) points.push([stage.target[0], stage.target[1]]);
  points.push([0, 0]);
  let [minX, maxX, minY, maxY] = [Infinity, -Infinity, Infinity, -Infinity];
  for (const [x, y] of points) {
    minX = Math.min(minX, x); maxX = Math.max(maxX, x);
    minY = Math.min(minY, y); maxY = Math.max(maxY, y);
  }
  // One scale for both axes, so a circle stays round; y grows upwards.
  const span = Math.max(maxX - minX, maxY - minY, 1) * 1.1;
  const scale = Math.min(w - 2 * margin, h - 2 * margin) / span;
  const cx = (minX + maxX) / 2, cy = (minY + maxY) / 2;
  const px = (x) => w / 2 + (x - cx) * scale;
  const py = (y) => h / 2 - (y - cy) * scale;

  g.strokeStyle = '#e5e7eb';
  g.lineWidth = 1;
  g.beginPath();
  g.moveTo(0, py(0)); g.lineTo(w, py(0));
  g.moveTo(px(0), 0); g.lineTo(px(0), h);
  g.stroke();
  g.fillStyle = '#9ca3af';
  g.font = '11px sans-serif';
  g.fillText('span ' + Math.round(span).toLocaleString(), 6, h - 6);

  if (path.length > 1) {
    g.strokeStyle = '#2563eb';
    g.lineWidth = 2;
    g.beginPath();
    path.forEach(([x, y], i) => (i ? g.lineTo(px(x), py(y)) : g.moveTo(px(x), py(y))));
    g.stroke();
  }
  if (stage && stage.target) {
    const tx = px(stage.target[0]), ty = py(stage.target[1]);
    g.strokeStyle = '#dc2626';
    g.lineWidth = 2;
    g.beginPath();
    g.arc(tx, ty, 8, 0, 2 * Math.PI);
    g.moveTo(tx - 13, ty); g.lineTo(tx + 13, ty);
    g.moveTo(tx, ty - 13); g.lineTo(tx, ty + 13);
    g.stroke();
  }
  if (path.length > 0) {
    const [x, y] = path[path.length - 1];
    g.fillStyle = '#1f2933';
    g.beginPath();
    g.arc(px(x), py(y), 5, 0, 2 * Math.PI);
    g.fill();
  }
}

function addToPath(stage) {
  if (stage.epoch !== pathEpoch) {
    path = [];
    pathEpoch = stage.epoch;
  }
  if (!stage.position || stage.stale) return;
  const [x, y] = stage.position;
  const end = path[path.length - 1];
  if (!end || end[0] !== x || end[1] !== y) path.push([x, y]);
  if (path.length > PATH_POINTS) path.splice(0, path.length - PATH_POINTS);
}

$('clear-path').addEventListener('click', () => {
  path = path.slice(-1);
  drawPlot(last && last.stage);
});

// ---- Showing the state ---------------------------------------------------

function showLink(live) {
  $('link').textContent = live ? 'live' : 'connection to the tool lost';
  $('link').className = 'badge ' + (live ? 'live' : 'lost');
  if (!live) {
    $('banner').textContent = 'The connection to the tool is lost: what you see may be out of date.';
    $('banner').hidden = false;
  }
}

function show(update) {
  last = update;
  const stage = update.stage;
  pickConnected(stage);
  $('seat').textContent = update.drives ? 'you drive'
    : 'watching' + (update.driven ? ': another page drives' : '');
  $('drive').hidden = update.drives;
  $('drive').disabled = update.driven;
  $('connected').textContent = stage.connected
    ? stage.maker + ' ' + stage.model + ' on ' + stage.device : 'not connected';

  const readout = document.querySelector('.readout');
  readout.classList.toggle('stale', stage.stale);
  const axes = axesOf(stage);
  AXES.forEach((axis, i) => {
    $('pos-' + axis).textContent = stage.connected && stage.position ? stage.position[i] : '–';
  });
  document.querySelectorAll('.axis').forEach((e) => {
    e.classList.toggle('hidden-axis', Number(e.dataset.axis) >= axes);
  });
  $('light-moving').classList.toggle('on', stage.moving);
  $('light-limit').classList.toggle('on', stage.limit);
  $('light-noreply').classList.toggle('on', stage.noReply);
  $('light-error').classList.toggle('on', stage.error);
  $('status').textContent = stage.connected
    ? (stage.status >= 0 ? 'status ' + stage.status + ': ' + stage.statusText : 'reading…')
    : '–';

  const failing = stage.connected && stage.pollError;
  $('banner').hidden = !failing;
  if (failing) $('banner').textContent = stage.pollError;
  if (stage.messages !== messagesSeen) {
    messagesSeen = stage.messages;
    if (stage.message) tell(stage.message, stage.messageIsError);
  }

  const canDrive = update.drives && stage.connected;
  document.querySelectorAll('.drives').forEach((e) => { e.disabled = !canDrive; });
  $('connect').disabled = !update.drives;
  $('disconnect').disabled = !canDrive;
  $('stop').disabled = !stage.connected;
  if (!canDrive) endJog();

  $('target').textContent = stage.connected && stage.target
    ? 'target ' + stage.target.slice(0, axes).join(', ') : '';
  addToPath(stage);
  drawPlot(stage);
}

function countEvent() {
  const now = performance.now();
  lastEventAt = now;
  window.panelStats.events += 1;
  eventTimes.push(now);
  eventTimes = eventTimes.filter((t) => now - t <= 2000);
  window.panelStats.rate = eventTimes.length / 2;
  $('rate').textContent = window.panelStats.rate.toFixed(1) + ' updates/s';
}

function listen() {
  const events = new EventSource('/api/events?' + query({}));
  events.addEventListener('hello', (event) => {
    seat = JSON.parse(event.data).seat;
    showLink(true);
  });
  events.onmessage = (event) => {
    countEvent();
    showLink(true);
    show(JSON.parse(event.data));
  };
  events.onerror = () => showLink(false);
}

setInterval(() => {
  if (lastEventAt && performance.now() - lastEventAt > LOST_AFTER_MS) showLink(false);
}, 500);

// ---- Driving -------------------------------------------------------------

function triple(text) {
  const [x, y, z] = text.split(',').map(Number);
  return { x, y, z };
}

function startJog(directions, button) {
  if (holding || !last || !last.drives) return;
  if (button) button.classList.add('held');
  holding = setInterval(() => command('hold', {}, true), HOLD_EVERY_MS);
  command('jog', directions);
}

function endJog() {
  if (!holding) return;
  clearInterval(holding);
  holding = null;
  document.querySelectorAll('.held').forEach((e) => e.classList.remove('held'));
  command('jog-end');
}

document.querySelectorAll('[data-jog]').forEach((button) => {
  button.addEventListener('pointerdown', (event) => {
    button.setPointerCapture(event.pointerId);
    startJog(triple(button.dataset.jog), button);
  });
  for (const end of ['pointerup', 'pointercancel', 'lostpointercapture']) {
    button.addEventListener(end, endJog);
  }
});
window.addEventListener('blur', endJog);
document.addEventListener('visibilitychange', () => { if (document.hidden) endJog(); });

function stop() {
  endJog();
  command('stop');
}
$('stop').addEventListener('click', stop);

const KEY_JOGS = {
  ArrowLeft: '-1,0,0', ArrowRight: '1,0,0', ArrowUp: '0,1,0', ArrowDown: '0,-1,0',
  PageUp: '0,0,1', PageDown: '0,0,-1',
};
document.addEventListener('keydown', (event) => {
  if (event.key === 'Escape') {
    event.preventDefault();
    stop();
    return;
  }
  const jog = KEY_JOGS[event.key];
  if (!jog || event.target.closest('input, select')) return;
  event.preventDefault();
  if (!event.repeat) startJog(triple(jog), document.querySelector('[data-jog="' + jog + '"]'));
});
document.addEventListener('keyup', (event) => {
  if (KEY_JOGS[event.key]) endJog();
});

function coordinates() {
  return { x: $('to-x').value || 0, y: $('to-y').value || 0, z: $('to-z').value || 0 };
}
$('move-form').addEventListener('submit', (event) => {
  event.preventDefault();
  command('move', coordinates());
});
$('move-by').addEventListener('click', () => command('move', { ...coordinates(), relative: 1 }));
document.querySelectorAll('[data-step]').forEach((button) => {
  button.addEventListener('click', () => {
    const step = Number($('step').value) || 0;
    const { x, y, z } = triple(button.dataset.step);
    command('move', { x: x * step, y: y * step, z: z * step, relative: 1 });
  });
});
$('home').addEventListener('click', () => command('home'));
$('origin').addEventListener('click', () => command('origin'));

function speedRows() {
  $('speed-rows').replaceChildren(...AXES.map((axis, i) => {
    const row = document.createElement('tr');
    row.className = 'axis';
    row.dataset.axis = i;
    row.innerHTML = '<th>' + axis.toUpperCase() + '</th>' +
      '<td><input type="number" min="0" placeholder="start" data-field="start"></td>' +
      '<td><input type="number" min="0" placeholder="max" data-field="max"></td>' +
      '<td><input type="number" min="0" placeholder="accel" data-field="accel"></td>' +
      '<td><button class="drives">Set</button></td>';
    row.querySelector('button').addEventListener('click', () => {
      const value = (field) => row.querySelector('[data-field="' + field + '"]').value;
      command('speed', { axis: i, start: value('start'), max: value('max'), accel: value('accel') });
    });
    return row;
  }));
}

// A driving page that closes stops the stage at once, before its stream is missed.
window.addEventListener('pagehide', () => {
  if (last && last.drives) navigator.sendBeacon('/api/stop?' + query({}));
});

speedRows();
loadPickers().then(() => last && pickConnected(last.stage));
listen();
