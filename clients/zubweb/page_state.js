// The web remote page's own logic, free of the browser: what the banner
// says and when to reconnect, the scan's progress, when the disc list is
// stale, and with several changers each tab's routes, which tab an event
// is for and which tab the address asks for; the names routes, what an
// edit changed, the styles to pick for Random and a track's line. The page calls these; tests
// run them under node.
"use strict";

const FIRST_RETRY_MS = 1000;
const LAST_RETRY_MS = 10000;

// The page's connection state. view is "connecting", "live" (the
// controller answers), "unreachable" (zubweb says the controller cannot be
// reached) or "busy" (the event stream itself failed: zubweb busy, refused
// or gone); retryMs is the pause before the next reconnect.
function initialPageState() {
  return { view: "connecting", retryMs: FIRST_RETRY_MS, reconnectInMs: -1 };
}

// The state after an event: {type: "status", reachable} for a status event
// from zubweb, {type: "stream-error"} when the event stream failed, or
// {type: "reconnecting"} when the page opens the stream again. reconnectInMs
// is the pause after which the page must reopen the stream, -1 for none.
function pageStateAfter(state, event) {
  switch (event.type) {
    case "status":
      return { view: event.reachable ? "live" : "unreachable", retryMs: FIRST_RETRY_MS,
               reconnectInMs: -1 };
    case "stream-error":
      return { view: "busy", retryMs: Math.min(state.retryMs * 2, LAST_RETRY_MS),
               reconnectInMs: state.retryMs };
    case "reconnecting":
      return { view: state.view, retryMs: state.retryMs, reconnectInMs: -1 };
    default:
      return state;
  }
}

// The banner's text; "" hides it.
function bannerText(state) {
  switch (state.view) {
    case "live": return "";
    case "unreachable": return "controller not reachable";
    case "busy": return "web remote busy, retrying";
    default: return "connecting\u2026";
  }
}

// The scan's progress from status events. The scan runs from its first
// slot (zubweb's scan_first_slot, else the first slot this page saw) to
// scan_last_slot. tracker remembers that range and where and when this page
// first saw the scan in it (pass null at first); a scan of another range
// starts a new tracker. Returns the next tracker and what to show: null when
// no scan runs, else {slot, first, last, fraction, leftSeconds} with
// leftSeconds -1 until a rate is known.
function scanProgress(tracker, status, nowMs) {
  if (!status || !status.reachable || !status.scanning) {
    return { tracker: null, shown: null };
  }
  const slot = status.scan_slot;
  const last = status.scan_last_slot > 0 ? status.scan_last_slot : 100;
  const known = status.scan_first_slot > 0 && status.scan_first_slot <= slot
    ? status.scan_first_slot : 0;
  if (!tracker || slot < tracker.slot || last !== tracker.last ||
      (known > 0 && known !== tracker.first)) {
    tracker = { first: known > 0 ? known : slot, last: last, slot: slot, at: nowMs };
  }
  const first = tracker.first;
  let leftSeconds = -1;
  if (slot > tracker.slot && nowMs > tracker.at) {
    const msPerSlot = (nowMs - tracker.at) / (slot - tracker.slot);
    leftSeconds = Math.round((last - slot + 1) * msPerSlot / 1000);
  }
  const fraction = Math.min(1, Math.max(0, slot - first) / Math.max(1, last - first + 1));
  return { tracker: tracker,
           shown: { slot: slot, first: first, last: last, fraction: fraction,
                    leftSeconds: leftSeconds } };
}

// Whether the disc list must be asked for again: the magazine changed since
// it was read (its generation differs), or it was never read.
function discsStale(listedGeneration, status) {
  if (!status || !status.reachable) { return false; }
  return listedGeneration === null || listedGeneration !== status.magazine_generation;
}

// The routes a changer's part of the page uses: index -1 for the page of
// one changer (the routes of one), 0 or more for changer index's tab.
// allEvents is the one event stream of every changer.
function changerPaths(index) {
  const base = index < 0 ? "/api" : "/api/changers/" + index;
  return { events: base + "/events", discs: base + "/discs", command: base + "/command",
           scan: base + "/scan", allEvents: "/api/changers/events" };
}

// The changer an event of the stream of all is for: its "changer" field
// when it is a whole number below count, else -1 (the event is dropped).
function changerOfEvent(status, count) {
  const k = status ? status.changer : undefined;
  return Number.isInteger(k) && k >= 0 && k < count ? k : -1;
}

// The tab a page address asks for ("#changer-K"); the first otherwise.
function tabFromHash(hash, count) {
  const found = /^#changer-(0|[1-9][0-9]*)$/.exec(hash || "");
  const k = found ? Number(found[1]) : 0;
  return k < count ? k : 0;
}

const HISTORY_LIMIT = 20;

// The names routes of a changer (index as for changerPaths): "filter" the
// disc list holding q (the whole list for an empty q), "tracks" and "disc"
// of slot, "track" of slot and track, "random", "history" of limit plays.
function namesPath(index, kind, a, b) {
  const base = index < 0 ? "/api" : "/api/changers/" + index;
  switch (kind) {
    case "filter": {
      const q = String(a || "").trim();
      return base + "/discs" + (q === "" ? "" : "?q=" + encodeURIComponent(q));
    }
    case "tracks": return base + "/discs/" + a + "/tracks";
    case "disc": return base + "/discs/" + a;
    case "track": return base + "/discs/" + a + "/tracks/" + b;
    case "random": return base + "/random";
    case "styles": return base + "/styles";
    case "history": {
      const n = Math.min(HISTORY_LIMIT, Math.max(1, Math.floor(Number(a)) || HISTORY_LIMIT));
      return base + "/history?limit=" + n;
    }
    default: return base;
  }
}

// The fields of an edit form that differ from what was shown: an object
// of them to post, or null when nothing changed.
function changedNames(shown, edited, fields) {
  const changed = {};
  let any = false;
  for (const field of fields) {
    const before = shown && shown[field] !== undefined ? String(shown[field]) : "";
    const after = edited && edited[field] !== undefined ? String(edited[field]) : before;
    if (after !== before) {
      changed[field] = after;
      any = true;
    }
  }
  return any ? changed : null;
}

// The styles to pick for Random: those zubweb lists (known), and those of
// the plays and tracks the page has seen; each once without regard to case
// (its first spelling), sorted.
function styleChoices(plays, tracks, known) {
  const seen = new Map();
  const add = (style) => {
    const text = String(style || "").trim();
    if (text !== "" && !seen.has(text.toLowerCase())) { seen.set(text.toLowerCase(), text); }
  };
  for (const style of known || []) { add(style); }
  for (const p of plays || []) { add(p.style); }
  for (const list of tracks || []) {
    if (!list) { continue; }
    add(list.style);
    for (const t of list.tracks || []) { add(t.style); }
  }
  return Array.from(seen.values()).sort((x, y) => x.toLowerCase().localeCompare(y.toLowerCase()));
}

// What Random posts: the style shuffle for a style, else the shuffle of
// every track.
function randomRequest(index, style) {
  const text = String(style || "");
  if (text === "") {
    return { path: changerPaths(index).command, body: { command: "shuffle" } };
  }
  return { path: namesPath(index, "random"), body: { style: text } };
}

// A track's line: "3. Title [Style] · 2 plays", each part only when known.
function trackText(t) {
  let text = t.track + ".";
  if (t.title) { text += " " + t.title; }
  if (t.style) { text += " [" + t.style + "]"; }
  if (t.plays > 0) { text += " \u00b7 " + t.plays + (t.plays === 1 ? " play" : " plays"); }
  return text;
}

if (typeof module !== "undefined") {
  module.exports = { initialPageState, pageStateAfter, bannerText, scanProgress, discsStale,
                     changerPaths, changerOfEvent, tabFromHash, FIRST_RETRY_MS, LAST_RETRY_MS,
                     namesPath, changedNames, styleChoices, randomRequest, trackText };
}
