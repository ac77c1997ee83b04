'use strict';
// The panel's page: shows the state the tool pushes (an event stream) and
// sends the driver's commands. It never asks the stage anything itself.

// The token comes in the address once; the page keeps it for its tab and
// takes it out of the address bar, and sends it in a header from then on.
const token = new URLSearchParams(location.search).get('token') ||
  sessionStorage.getItem('astrel-token') || '';
sessionStorage.setItem('astrel-token', token);
history.replaceState(null, '', '/');

const $ = (id) => document.getElementById(id);
const AXES = ['x', 'y', 'z'];
const HOLD_EVERY_MS = 150;      // "still holding" while a jog button or key is held
const LOST_AFTER_MS = 3000;     // no event for this long: the tool is out of reach
const STOP_ANSWER_MS = 1000;    // a stop not confirmed within this raises the alarm
const COMMAND_ANSWER_MS = 15000;
const PATH_POINTS = 5000;

let seat = 0;
let catalogue = [];
let last = null;          // the last state pushed
let lastEventAt = 0;
let eventTimes = [];      // arrival times of the last state events, for the rate
let messagesSeen = -1;
let path = [];
let pathEpoch = -1;
let pickersSet = false;
let holding = null;       // the interval that says "still holding"
let heldButton = null;    // the jog button held, if a button is
let stream = null;        // aborts the event stream
let retired = false;      // the tool no longer takes this page's token

// Counters the browser test reads.
window.panelStats = { events: 0, rate: 0 };

function tell(text, error) {
  const message = $('message');
  message.textContent = text;
  message.classList.toggle('error', !!error);
}

function banner(text) {
  $('banner').textContent = text || '';
  $('banner').hidden = !text;
}

// The tool was started again (with a new token): nothing this page sends is taken.
function retire() {
  retired = true;
  if (stream) stream.abort();
  showLink(false);
  banner('The panel no longer takes this page\'s token: the tool was started again. ' +
    'Open the new address that astrel panel printed.');
}

// A request to the tool with the token, answered within `ms` or given up.
async function request(path, options, ms) {
  const abort = new AbortController();
  const timer = setTimeout(() => abort.abort(), ms);
  try {
    const reply = await fetch(path, {
      ...options, cache: 'no-store', signal: abort.signal,
      headers: { 'X-Astrel-Token': token },
    });
    if (reply.status === 403) retire();
    return reply;
  } finally {
    clearTimeout(timer);
  }
}

// POSTs a command; true when it was carried out. A refusal or failure is
// shown in words unless `quietly`.
async function command(name, params = {}, quietly = false, ms = COMMAND_ANSWER_MS) {
  try {
    const query = new URLSearchParams({ seat, ...params }).toString();
    const reply = await request('/api/' + name + '?' + query, { method: 'POST' }, ms);
    const body = await reply.json().catch(() => ({ ok: false, error: 'HTTP ' + reply.status }));
    if (!body.ok && !quietly) tell(body.error, true);
    return body.ok;
  } catch (error) {
    if (!quietly) tell('the tool did not answer: ' + error.message, true);
    return false;
  }
}

async function getJson(name) {
  const reply = await request('/api/' + name, {}, COMMAND_ANSWER_MS);
  if (!reply.ok) throw new Error('the tool answered ' + reply.status + ' for the ' + name);
  return reply.json();
}

// ---- Pickers -------------------------------------------------------------

function fill(select, items, label, value) {
  const kept = select.value;
  select.replaceChildren(...items.map((item) => {
    const option = document.createElement('option');
    option.textContent = label(item);
    option.value = value(item);
    return option;
  }));
  if ([...select.options].some((o) => o.value === kept)) select.value = kept;
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

async function loadPorts() {
  const ports = await getJson('ports');
  fill($('port'), ports, (p) => p.label, (p) => JSON.stringify(p));
}

async function loadPickers() {
  try {
    catalogue = await getJson('catalogue');
    fill($('maker'), catalogue, (m) => m.name + (m.shortName ? ' (' + m.shortName + ')' : ''), (m) => m.type);
    fillModels();
    await loadPorts();
    if (last) pickConnected(last.stage);
  } catch (error) {
    if (!retired) tell('the lists of makers and ports could not be loaded (' + error.message + '): press Refresh ports to try again', true);
  }
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
$('refresh-ports').addEventListener('click', () => (catalogue.length ? loadPorts() : loadPickers())
  .then(() => tell('ports listed again'), (error) => tell('the ports could not be listed: ' + error.message, true)));
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
  g.fillStyle = '#4b5563';
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
  if (!live && !retired) banner('The connection to the tool is lost: what you see may be out of date.');
}

function light(id, on) {
  $(id).classList.toggle('on', on);
  $(id).querySelector('b').textContent = on ? 'yes' : 'no';
}

function showSeat(update) {
  const pages = update.pages + (update.pages === 1 ? ' page' : ' pages') + ' open';
  $('seat').textContent = (update.drives ? 'you drive'
    : 'watching' + (update.driven ? ': another page drives' : '')) + ' · ' + pages;
  const idle = update.driverIdleMs >= update.takeOverAfterMs;
  const atRest = !update.stage.moving && !update.stage.jogging;
  $('drive').hidden = update.drives;
  $('drive').textContent = update.driven ? 'Take over' : 'Drive';
  $('drive').disabled = update.driven && !(idle && atRest);
  $('drive').title = !update.driven ? 'drive the stage from this page'
    : !idle ? 'the driving page gave a command ' + Math.round(update.driverIdleMs / 1000) +
      ' s ago; it can be taken over after ' + update.takeOverAfterMs / 1000 + ' s without one'
    : !atRest ? 'the stage moves: stop it first' : 'the driving page is idle: drive from here';
}

function show(update) {
  last = update;
  const stage = update.stage;
  pickConnected(stage);
  showSeat(update);
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
  light('light-moving', stage.moving);
  light('light-limit', stage.limit === true);
  light('light-noreply', stage.noReply);
  light('light-error', stage.error);
  $('status').textContent = stage.connected
    ? (stage.status >= 0 ? 'status ' + stage.status + ': ' + stage.statusText : 'reading…')
    : '–';

  banner(stage.connected && stage.pollError ? stage.pollError : '');
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
  window.panelStats.events += 1;
  eventTimes.push(now);
  eventTimes = eventTimes.filter((t) => now - t <= 2000);
  window.panelStats.rate = eventTimes.length / 2;
  $('rate').textContent = window.panelStats.rate.toFixed(1) + ' updates/s';
}

// One event of the stream: "hello" names the page's seat, "alive" says the
// tool is there with nothing new, and unnamed ones carry the state.
function onEvent(text) {
  let name = 'message';
  let data = '';
  for (const line of text.split('\n')) {
    if (line.startsWith('event:')) name = line.slice(6).trim();
    if (line.startsWith('data:')) data += line.slice(5).trim();
  }
  lastEventAt = performance.now();
  if (!data) return;
  if (name === 'hello') seat = JSON.parse(data).seat;
  if (name === 'message') {
    countEvent();
    show(JSON.parse(data));
  }
  if (!retired && $('link').textContent !== 'live') {
    showLink(true);
    if (!last || !last.stage.pollError) banner('');
  }
}

// Reads the event stream (a fetch, so that the token goes in a header) and
// opens it again when it ends.
async function listen() {
  const abort = new AbortController();
  stream = abort;
  let again = 1000;
  try {
    const reply = await fetch('/api/events', {
      cache: 'no-store', signal: abort.signal, headers: { 'X-Astrel-Token': token },
    });
    if (reply.status === 403) return retire();
    if (!reply.ok) {
      again = 5000;
      throw new Error(await reply.text());
    }
    lastEventAt = performance.now();
    const reader = reply.body.getReader();
    const decoder = new TextDecoder();
    let buffer = '';
    for (;;) {
      const { value, done } = await reader.read();
      if (done) break;
      buffer += decoder.decode(value, { stream: true }).replace(/\r/g, '');
      for (let end = buffer.indexOf('\n\n'); end >= 0; end = buffer.indexOf('\n\n')) {
        onEvent(buffer.slice(0, end));
        buffer = buffer.slice(end + 2);
      }
    }
  } catch (error) {
    if (again > 1000 && !retired) {
      showLink(false);
      banner('The tool refused this page\'s event stream: ' + error.message.trim());
    }
  }
  if (retired) return;
  if (again === 1000) showLink(false);
  setTimeout(listen, again);
}

setInterval(() => {
  if (lastEventAt && performance.now() - lastEventAt > LOST_AFTER_MS && stream) {
    lastEventAt = 0;
    showLink(false);
    stream.abort();  // listen() opens it again
  }
}, 500);

// ---- Driving -------------------------------------------------------------

function triple(text) {
  const [x, y, z] = text.split(',').map(Number);
  return { x, y, z };
}

function startJog(directions, button) {
  if (holding || !last || !last.drives) return;
  heldButton = button;
  if (button) button.classList.add('held');
  holding = setInterval(() => command('hold', {}, true), HOLD_EVERY_MS);
  // At the page's jog speed when one is given, else at the speeds set.
  const speed = $('jog-speed').value;
  command('jog', speed ? { ...directions, speed } : directions);
}

function endJog() {
  if (!holding) return;
  clearInterval(holding);
  holding = null;
  heldButton = null;
  document.querySelectorAll('.held').forEach((e) => e.classList.remove('held'));
  command('jog-end');
}

const HOLD_KEYS = ['Enter', ' '];
document.querySelectorAll('[data-jog]').forEach((button) => {
  button.addEventListener('pointerdown', (event) => {
    button.setPointerCapture(event.pointerId);
    startJog(triple(button.dataset.jog), button);
  });
  for (const end of ['pointerup', 'pointercancel', 'lostpointercapture']) {
    button.addEventListener(end, endJog);
  }
  // From the keyboard: Enter or Space held on the focused button.
  button.addEventListener('keydown', (event) => {
    if (!HOLD_KEYS.includes(event.key)) return;
    event.preventDefault();
    event.stopPropagation();
    if (!event.repeat) startJog(triple(button.dataset.jog), button);
  });
  button.addEventListener('keyup', (event) => {
    if (HOLD_KEYS.includes(event.key)) endJog();
  });
  button.addEventListener('blur', () => { if (heldButton === button) endJog(); });
});
window.addEventListener('blur', endJog);
document.addEventListener('visibilitychange', () => { if (document.hidden) endJog(); });

// Sends a stop; one not confirmed within STOP_ANSWER_MS raises the alarm.
async function stop() {
  endJog();
  if (await command('stop', {}, false, STOP_ANSWER_MS)) {
    $('alarm').hidden = true;
  } else {
    $('alarm').hidden = false;
    $('alarm-close').focus();
  }
}
$('stop').addEventListener('click', stop);
$('alarm-close').addEventListener('click', () => { $('alarm').hidden = true; });

const KEY_JOGS = {
  ArrowLeft: '-1,0,0', ArrowRight: '1,0,0', ArrowUp: '0,1,0', ArrowDown: '0,-1,0',
  PageUp: '0,0,1', PageDown: '0,0,-1',
};
document.addEventListener('keydown', (event) => {
  if (event.key === 'Escape') {
    event.preventDefault();
    if (!last || last.stage.connected) stop();
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

// ---- Moves, with a question first when one is long -----------------------

const confirmOver = $('confirm-over');
confirmOver.value = localStorage.getItem('astrel-confirm-over') || confirmOver.value;
confirmOver.addEventListener('change', () => localStorage.setItem('astrel-confirm-over', confirmOver.value));

// Moves to (or with `relative`, by) x, y, z, asking first when the longest
// axis's travel exceeds the page's threshold.
function move(x, y, z, relative) {
  const here = (last && last.stage.position) || [0, 0, 0];
  const travel = [x, y, z].map((v, i) => Math.abs(relative ? Number(v) : Number(v) - here[i]));
  const longest = Math.max(...travel.slice(0, last ? axesOf(last.stage) : 3));
  const limit = Number(confirmOver.value) || 0;
  if (limit > 0 && longest > limit &&
      !confirm('Move ' + longest.toLocaleString() + ' counts on one axis? (more than ' +
               limit.toLocaleString() + ')')) return;
  command('move', relative ? { x, y, z, relative: 1 } : { x, y, z });
}

function coordinates() {
  return [$('to-x').value || 0, $('to-y').value || 0, $('to-z').value || 0];
}
$('move-form').addEventListener('submit', (event) => {
  event.preventDefault();
  move(...coordinates(), false);
});
$('move-by').addEventListener('click', () => move(...coordinates(), true));
document.querySelectorAll('[data-step]').forEach((button) => {
  button.addEventListener('click', () => {
    const step = Number($('step').value) || 0;
    const { x, y, z } = triple(button.dataset.step);
    move(x * step, y * step, z * step, true);
  });
});
$('home').addEventListener('click', () => command('home'));
$('origin').addEventListener('click', () => command('origin'));

function speedRows() {
  const FIELDS = { start: 'start speed', max: 'maximum speed', accel: 'acceleration' };
  $('speed-rows').replaceChildren(...AXES.map((axis, i) => {
    const row = document.createElement('tr');
    row.className = 'axis';
    row.dataset.axis = i;
    row.innerHTML = '<th>' + axis.toUpperCase() + '</th>' + Object.entries(FIELDS).map(([field, what]) =>
      '<td><label><span class="sr-only">' + axis.toUpperCase() + ' ' + what + '</span>' +
      '<input type="number" min="0" data-field="' + field + '"></label></td>').join('') +
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
  if (last && last.drives) {
    fetch('/api/stop?seat=' + seat, {
      method: 'POST', keepalive: true, headers: { 'X-Astrel-Token': token },
    }).catch(() => {});
  }
});

speedRows();
loadPickers();
listen();
