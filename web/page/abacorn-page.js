// SPDX-License-Identifier: GPL-3.0-or-later
// Abacorn's page: the start screen, the queue of what the child does, the
// elements the program asks for, the browser's speech and full screen.
// Everything the window does is decided by the program (abacorn.js); this
// file only carries it out and queues events for it.
'use strict';

var Module = (function () {
  const stage = document.getElementById('stage');
  const startButton = document.getElementById('start');
  const elements = new Map();
  const pictures = new Map();
  const queue = [];
  // Event kinds, as the program numbers them (web/page.h).
  const POINTER = 1, CLICK = 2, PICK = 3, KEY = 4, TICK = 5, FOCUS = 6, ACTIVE = 7, HELD = 8, RESIZED = 10;
  const TAGS = ['div', 'button', 'select', 'div', 'img'];
  let busy = false, running = false, loaded = false, scheduled = false, closing = false, wanted = false;
  let timer = 0, pressed = null, heldButton = null, voice = null;
  const pending = [];  // what must load before the start: fonts and pictures
  // When things happened (performance.now()), for the tests and benchmarks:
  // the start tap, the window shown, each text handed to speech.
  const stats = {started: 0, shown: 0, spoken: []};

  // One channel wakes a pause that handed the browser its turn, the other
  // hands an idle program what was queued. Messages, unlike timers, wait
  // for no minimum delay.
  const yields = new MessageChannel();
  let wake = null;
  yields.port1.onmessage = () => { const w = wake; wake = null; if (w) w(); };
  const idle = new MessageChannel();
  idle.port1.onmessage = () => {
    scheduled = false;
    if (!busy && running && queue.length) Module._abacorn_events();
  };
  function schedule() {
    if (!scheduled) { scheduled = true; idle.port2.postMessage(0); }
  }
  function push(event) {
    if (!running) return;
    queue.push(event);
    if (!busy) schedule();
  }

  const measureContext = document.createElement('canvas').getContext('2d');

  function apply(el) {
    el.style.cssText = 'position:absolute;box-sizing:border-box;margin:0;overflow:hidden;' +
      (el.abPlace || '') + (el.abStyle || '') + (el.abHidden ? 'display:none;' : '');
  }

  function decode(img) {
    if (img.decode) img.decode().catch(() => {});
  }

  function markSelected(el, index) {
    for (const option of el.children) {
      const on = Number(option.dataset.index) === index;
      option.setAttribute('aria-selected', on ? 'true' : 'false');
      option.style.cssText = on ? 'background:#2874a6;color:#fff;' : '';
    }
  }

  function chooseVoice() {
    const all = window.speechSynthesis.getVoices().filter(v => /^en([-_]|$)/i.test(v.lang));
    voice = all.find(v => v.localService && v.default) || all.find(v => v.localService) ||
      all.find(v => v.default) || all[0] || null;
  }

  const page = {
    create(id, tag, parent) {
      let el = elements.get(id);
      if (!el) {
        el = document.createElement(TAGS[tag]);
        el.id = 'e' + id;
        if (tag === 1) el.type = 'button';
        if (tag === 4) { el.alt = ''; el.draggable = false; }
        elements.set(id, el);
        apply(el);
      }
      (parent ? elements.get(parent) : stage).appendChild(el);
    },
    place(id, x, y, w, h) {
      const el = elements.get(id);
      if (!el) return;
      el.abPlace = `left:${x}px;top:${y}px;width:${w}px;height:${h}px;`;
      apply(el);
    },
    style(id, css) {
      const el = elements.get(id);
      if (el) { el.abStyle = css; apply(el); }
    },
    text(id, text) {
      const el = elements.get(id);
      if (el && el.textContent !== text) el.textContent = text;
    },
    attribute(id, name, value) {
      const el = elements.get(id);
      if (!el) return;
      if (value === '' && name !== 'alt') el.removeAttribute(name);
      else if (el.getAttribute(name) !== value) el.setAttribute(name, value);
    },
    shown(id, on) {
      const el = elements.get(id);
      if (el && el.abHidden !== !on) { el.abHidden = !on; apply(el); }
    },
    enabled(id, on) {
      const el = elements.get(id);
      if (!el) return;
      if ('disabled' in el && el.tagName !== 'DIV') el.disabled = !on;
      else if (on) el.removeAttribute('aria-disabled');
      else el.setAttribute('aria-disabled', 'true');
    },
    options(id, items) {
      const el = elements.get(id);
      if (!el) return;
      items.split('\n').forEach((text, index) => {
        const option = document.createElement(el.tagName === 'SELECT' ? 'option' : 'div');
        option.textContent = text;
        if (el.tagName !== 'SELECT') {
          option.setAttribute('role', 'option');
          option.dataset.index = index;
        }
        el.appendChild(option);
      });
    },
    selected(id, index) {
      const el = elements.get(id);
      if (!el) return;
      if (el.tagName === 'SELECT') el.selectedIndex = index;
      else markSelected(el, index);
    },
    focus(id) {
      const el = elements.get(id);
      if (el) el.focus({preventScroll: true});
    },
    focused() {
      const el = document.activeElement;
      const id = el && el.id && el.id[0] === 'e' ? Number(el.id.slice(1)) : 0;
      return id && elements.get(id) === el ? id : 0;
    },
    openList(id) {
      const el = elements.get(id);
      try { if (el && el.showPicker) el.showPicker(); } catch (e) { /* not allowed now: the arrows still work */ }
    },
    picture(id, source, clear) {
      const el = elements.get(id);
      let img = pictures.get(source);
      if (!el) return;
      el.abSource = source;
      if (clear >= 0 && !img) {
        // Not loaded before the start (the sharper artwork): keyed once in.
        img = new Image();
        pictures.set(source, img);
        img.src = source;
      }
      if (clear >= 0 && !img.complete) {
        img.addEventListener('load', () => { if (el.abSource === source) page.picture(id, source, clear); });
        return;
      }
      // Decoded now, while the window waits unseen, not at its first paint.
      if (clear < 0 || !img || !img.naturalWidth) { el.src = source; decode(el); return; }
      img.keyed = img.keyed || {};
      if (!img.keyed[clear]) {
        // The artwork's clear colour shows what lies behind.
        const canvas = document.createElement('canvas');
        canvas.width = img.naturalWidth;
        canvas.height = img.naturalHeight;
        const context = canvas.getContext('2d');
        context.drawImage(img, 0, 0);
        const pixels = context.getImageData(0, 0, canvas.width, canvas.height);
        const d = pixels.data, r = clear >> 16 & 255, g = clear >> 8 & 255, b = clear & 255;
        for (let i = 0; i < d.length; i += 4)
          if (d[i] === r && d[i + 1] === g && d[i + 2] === b) d[i + 3] = 0;
        context.putImageData(pixels, 0, 0);
        img.keyed[clear] = canvas.toDataURL();
      }
      el.src = img.keyed[clear];
      decode(el);
    },
    pictureSize(source) {
      const img = pictures.get(source);
      return img && img.naturalWidth ? [img.naturalWidth, img.naturalHeight] : null;
    },
    preload(source) {
      const img = new Image();
      pictures.set(source, img);
      pending.push(new Promise(done => { img.onload = img.onerror = done; }));
      img.src = source;
    },
    loaded() {
      // The faces (asked for at once: a face loads only once something is
      // drawn in it, and the captions are measured before that) and the
      // pictures.
      Promise.all(pending).then(() => {
        // The window is built now, unseen, so that the tap only starts it.
        if (!running && !busy) Module._abacorn_prepare();
        loaded = true;
        document.documentElement.dataset.ready = '1';
        if (wanted) begin();
        // Kept for the next start, which then needs no network (sw.js).
        if ('serviceWorker' in navigator) navigator.serviceWorker.register('sw.js').catch(() => {});
      });
    },
    measure(font, text) {
      measureContext.font = font;
      const lines = text.split('\n');
      let width = 0;
      for (const line of lines) width = Math.max(width, Math.ceil(measureContext.measureText(line).width));
      const m = measureContext.measureText(text);
      const line = Math.ceil(m.fontBoundingBoxAscent + m.fontBoundingBoxDescent);
      return [Math.round(m.width), Math.floor(-m.actualBoundingBoxLeft), Math.ceil(m.actualBoundingBoxRight) - 1,
        line, width, line * lines.length];
    },
    next() { return queue.shift(); },
    post(kind) { queue.push({kind}); },
    yieldToBrowser() {
      return new Promise(resolve => { wake = resolve; yields.port2.postMessage(0); });
    },
    busy(on) {
      busy = on;
      if (!on && running && queue.length) schedule();
      // A run that closed has unwound its last frame: the next may start.
      if (!on && closing) {
        closing = false;
        Module._abacorn_prepare();
        startButton.hidden = false;
        startButton.focus();
      }
    },
    timer(ms) {
      clearInterval(timer);
      timer = 0;
      // A tick still waiting is not queued twice, as on the desktop.
      if (ms > 0) timer = setInterval(() => { if (!queue.some(e => e.kind === TICK)) push({kind: TICK}); }, ms);
    },
    viewport() { return [window.innerWidth, window.innerHeight, Math.round((window.devicePixelRatio || 1) * 100)]; },
    windowShown() {
      stage.hidden = false;
      stats.shown = performance.now();
    },
    windowClosed() {
      running = false;
      page.timer(0);
      page.hush();
      queue.length = 0;
      stage.hidden = true;
      stage.replaceChildren();
      elements.clear();
      if (navigator.keyboard && navigator.keyboard.unlock) navigator.keyboard.unlock();
      if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
      closing = true;
    },
    hasSpeech() { return 'speechSynthesis' in window && typeof SpeechSynthesisUtterance === 'function'; },
    speak(text) {
      if (!page.hasSpeech()) return;
      if (!voice) chooseVoice();
      stats.spoken.push(performance.now());
      window.speechSynthesis.cancel();
      const utterance = new SpeechSynthesisUtterance(text);
      if (voice) { utterance.voice = voice; utterance.lang = voice.lang; } else utterance.lang = 'en-US';
      window.speechSynthesis.speak(utterance);
    },
    hush() { if (page.hasSpeech()) window.speechSynthesis.cancel(); },
    // Nothing running, nothing waiting: the program waits for the child.
    idle() { return !busy && !scheduled && !queue.length; },
  };

  // ---- the start -------------------------------------------------------------

  // The back button or gesture does not end a lesson: the page keeps an
  // entry of its own on top of the history and puts it back when it goes.
  function holdHistory() {
    if (!(history.state && history.state.lesson)) history.pushState({lesson: 1}, '');
  }
  window.addEventListener('popstate', () => { if (running) holdHistory(); });

  function fullScreen() {
    const root = document.documentElement;
    if (document.fullscreenElement || !root.requestFullscreen) return Promise.resolve();
    return root.requestFullscreen({navigationUI: 'hide'})
      .then(() => navigator.keyboard && navigator.keyboard.lock ? navigator.keyboard.lock(['Escape']) : null)
      .catch(() => {});
  }

  // The button is there at once; a tap before the program has loaded is
  // kept, and the run starts as soon as it has.
  function begin() {
    running = true;
    wanted = false;
    stats.started = performance.now();
    startButton.hidden = true;
    startButton.removeAttribute('aria-busy');
    holdHistory();
    Module._abacorn_start();
  }
  startButton.addEventListener('click', () => {
    if (running || closing || busy || wanted) return;
    // Some browsers let a page speak only from within a tap: one silent
    // word unlocks them. Chromium needs none, and would send it to its
    // speech server.
    if (page.hasSpeech() && !navigator.userAgentData) {
      const unlock = new SpeechSynthesisUtterance(' ');
      unlock.volume = 0;
      window.speechSynthesis.speak(unlock);
    }
    // The window is centred again once full screen is taken (a resize).
    fullScreen();
    if (loaded) begin();
    else {
      wanted = true;
      startButton.setAttribute('aria-busy', 'true');
    }
  });
  startButton.focus();  // Enter or Space starts, for a keyboard or a switch
  // The faces load beside the program, not after it.
  document.fonts.forEach(face => pending.push(face.load().catch(() => {})));
  if (page.hasSpeech()) window.speechSynthesis.addEventListener('voiceschanged', chooseVoice);

  // ---- the child's input, queued for the program -----------------------------------

  function idOf(el) { return el && el.id ? Number(el.id.slice(1)) : 0; }
  function flags(e, inside) {
    return (inside ? 1 : 0) | (e.shiftKey ? 2 : 0) | (e.ctrlKey ? 4 : 0) | (e.altKey ? 8 : 0) | (e.metaKey ? 16 : 0);
  }
  function relative(el, e) {
    const r = el.getBoundingClientRect();
    const x = Math.floor(e.clientX - r.left), y = Math.floor(e.clientY - r.top);
    return {x, y, inside: x >= 0 && y >= 0 && x < r.width && y < r.height};
  }
  function entryOf(target) {
    const option = target && target.closest && target.closest('[data-index]');
    return option ? Number(option.dataset.index) : -1;
  }

  document.addEventListener('mousedown', e => {
    if (!running) return;
    if (!document.fullscreenElement) fullScreen();
    if (e.button !== 0 || !stage.contains(e.target)) return;
    const own = e.target.closest('button, select');
    if (own) {
      heldButton = own;
      push({kind: HELD, a: idOf(own), b: 1});
      return;
    }
    const container = e.target.closest('[data-pointer]');
    if (!container) return;
    pressed = container;
    const p = relative(container, e);
    // The second press of a double click is no new press.
    push({kind: POINTER, a: idOf(container), b: e.detail >= 2 && e.detail % 2 === 0 ? 1 : 0, x: p.x, y: p.y,
      flags: flags(e, p.inside), entry: entryOf(e.target)});
  });
  document.addEventListener('mouseup', e => {
    if (e.button !== 0) return;
    if (heldButton) { push({kind: HELD, a: idOf(heldButton), b: 0}); heldButton = null; }
    if (!pressed) return;
    const p = relative(pressed, e);
    push({kind: POINTER, a: idOf(pressed), b: 2, x: p.x, y: p.y, flags: flags(e, p.inside),
      entry: pressed.contains(e.target) ? entryOf(e.target) : -1});
    pressed = null;
  });
  // A button's click, and a press by an assistive tool (a click of no mouse
  // button: detail 0) on anything that is pressed.
  document.addEventListener('click', e => {
    if (!stage.contains(e.target)) return;
    const button = e.target.closest('button');
    if (button) { push({kind: CLICK, a: idOf(button), b: e.detail}); return; }
    const pressable = e.target.closest('[role=button]');
    if (pressable && e.detail === 0) push({kind: CLICK, a: idOf(pressable), b: 0});
  });
  document.addEventListener('change', e => {
    if (e.target.tagName === 'SELECT' && stage.contains(e.target))
      push({kind: PICK, a: idOf(e.target), b: e.target.selectedIndex});
  });
  // The keys a list moves by stay the list's own; every other key the page
  // may keep is the program's (reload, back and the buttons' own Space).
  const navigation = /^(Arrow|Page|Home$|End$)/;
  function keyEvent(e) {
    if (!running) return;
    if (!document.fullscreenElement && e.type === 'keydown') fullScreen();
    if (!navigation.test(e.key)) e.preventDefault();
    if (e.type === 'keydown') push({kind: KEY, key: e.key.slice(0, 30), flags: flags(e, false)});
  }
  document.addEventListener('keydown', keyEvent);
  document.addEventListener('keyup', keyEvent);
  document.addEventListener('focusin', () => {
    if (!queue.length || queue[queue.length - 1].kind !== FOCUS) push({kind: FOCUS});
  });
  window.addEventListener('resize', () => {
    if (!queue.some(e => e.kind === RESIZED)) push({kind: RESIZED});
  });
  window.addEventListener('focus', () => push({kind: ACTIVE, b: 1}));
  window.addEventListener('blur', () => push({kind: ACTIVE, b: 0}));
  // A long press opens no menu, a picture is not dragged away, and two
  // fingers zoom nothing on browsers that zoom past touch-action.
  for (const type of ['contextmenu', 'dragstart', 'gesturestart'])
    document.addEventListener(type, e => e.preventDefault());
  // During a lesson the browser asks before the page is closed, reloaded or left.
  window.addEventListener('beforeunload', e => {
    if (!running) return;
    e.preventDefault();
    e.returnValue = '';
  });

  return {page, stats, print: text => console.log(text), printErr: text => console.warn(text)};
})();
